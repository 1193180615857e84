#include "cli/json_out.h"

#include <json/json.h>

#include "webservice/camera_list.h"
#include "webservice/sharing.h"

namespace lumivex::cli {
namespace {

std::string OneLine(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

}  // namespace

std::string CameraInfoJson(int index, const CameraInfo& c) {
  Json::Value v;
  v["index"] = index;
  v["sid"] = c.sid.str();
  v["name"] = c.name;
  v["showAlarm"] = c.showAlarm;
  v["alarmStatus"] = c.alarmStatus;
  v["alarmStartTime"] = c.alarmStartTime;
  v["alarmEndTime"] = c.alarmEndTime;
  v["ledStatus"] = c.ledStatus;
  v["soundLeadStatus"] = c.soundLeadStatus;
  v["lock"] = c.lock;
  v["lockPsd"] = c.lockPsd.str();
  v["type"] = c.type.str();
  v["version"] = c.version.str();
  v["img"] = c.img.str();
  v["init"] = c.init;
  v["status"] = c.status;
  v["listed"] = c.listed;
  v["showLED"] = c.showLED;
  v["showSound"] = c.showSound;
  v["onLan"] = c.onLan;
  v["lanIp"] = c.lanIp.str();
  v["lanMac"] = c.lanMac.str();
  v["lanPort"] = c.lanPort;
  return OneLine(v);
}

std::string BoundUserJson(const BoundUser& user) {
  Json::Value v;
  v["uid"] = user.uid;
  v["isAdmin"] = user.isAdmin ? 1 : 0;
  return OneLine(v);
}

}  // namespace lumivex::cli
