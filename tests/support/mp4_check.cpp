#include "support/mp4_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace lumivex::test {

bool ReadMp4(const std::string& path, Mp4Facts& facts, std::string& why) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return why = "does not open", false;
  bool ok = avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams == 1;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* decoder = ok ? avcodec_alloc_context3(codec) : nullptr;
  ok = decoder && avcodec_parameters_to_context(decoder, format->streams[0]->codecpar) >= 0 &&
       avcodec_open2(decoder, codec, nullptr) >= 0;
  if (!ok) why = "no single H.264 stream";
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  if (ok) facts.timeBase = format->streams[0]->time_base;
  while (ok && av_read_frame(format, packet) >= 0) {
    facts.durations.push_back(packet->duration);
    facts.keys.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
    if (avcodec_send_packet(decoder, packet) >= 0)
      while (avcodec_receive_frame(decoder, frame) == 0) ++facts.decoded;
    av_packet_unref(packet);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return ok;
}

}  // namespace lumivex::test
