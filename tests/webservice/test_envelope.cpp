// The envelope is opened, and replies are sealed, with the libraries called
// directly (mbed TLS DES and Base64, OpenSSL RSA and AES), so that the
// wrappers under test never check themselves.

#include <gtest/gtest.h>
#include <mbedtls/base64.h>
#include <mbedtls/des.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <string>

#include "core/text.h"
#include "webservice/envelope.h"

namespace lumivex {
namespace {

const unsigned char* U(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* U(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

std::string Unhex(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

std::string RawDes(bool encrypt, const std::string& key, const std::string& data) {
  mbedtls_des_context ctx;
  mbedtls_des_init(&ctx);
  encrypt ? mbedtls_des_setkey_enc(&ctx, U(key)) : mbedtls_des_setkey_dec(&ctx, U(key));
  std::string out(data.size(), '\0');
  for (std::size_t i = 0; i + 8 <= data.size(); i += 8)
    mbedtls_des_crypt_ecb(&ctx, U(data) + i, U(out) + i);
  mbedtls_des_free(&ctx);
  return out;
}

std::string RawBase64Decode(const std::string& text) {
  std::string out(text.size(), '\0');
  std::size_t n = 0;
  EXPECT_EQ(mbedtls_base64_decode(U(out), out.size(), &n, U(text), text.size()), 0);
  out.resize(n);
  return out;
}

std::string RawBase64Encode(const std::string& bytes) {
  std::string out(bytes.size() * 4 / 3 + 8, '\0');
  std::size_t n = 0;
  EXPECT_EQ(mbedtls_base64_encode(U(out), out.size(), &n, U(bytes), bytes.size()), 0);
  out.resize(n);
  return out;
}

std::string RawAes(bool encrypt, bool pad, const std::string& key, const std::string& data) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, U(key), nullptr, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
  std::string out(data.size() + 16, '\0');
  int a = 0, b = 0;
  bool ok = EVP_CipherUpdate(ctx, U(out), &a, U(data), static_cast<int>(data.size())) == 1 &&
            EVP_CipherFinal_ex(ctx, U(out) + a, &b) == 1;
  EVP_CIPHER_CTX_free(ctx);
  EXPECT_TRUE(ok);
  out.resize(ok ? static_cast<std::size_t>(a + b) : 0);
  return out;
}

std::string BnHex(EVP_PKEY* key, const char* name) {
  BIGNUM* bn = nullptr;
  EVP_PKEY_get_bn_param(key, name, &bn);
  char* hex = BN_bn2hex(bn);
  std::string out(hex);
  OPENSSL_free(hex);
  BN_free(bn);
  return out;
}

std::string RawRsaPrivateDecrypt(EVP_PKEY* key, const std::string& cipher) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  std::string out(512, '\0');
  std::size_t n = out.size();
  bool ok = EVP_PKEY_decrypt_init(ctx) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_decrypt(ctx, U(out), &n, U(cipher), cipher.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  EXPECT_TRUE(ok);
  out.resize(ok ? n : 0);
  return out;
}

// The older RSA interface on purpose: a different road to the same key.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::string RawRsaPublicEncrypt(const std::string& expHex, const std::string& modHex,
                                const std::string& plain) {
  BIGNUM *e = nullptr, *n = nullptr;
  BN_hex2bn(&e, expHex.c_str());
  BN_hex2bn(&n, modHex.c_str());
  RSA* rsa = RSA_new();
  RSA_set0_key(rsa, n, e, nullptr);
  std::string out(RSA_size(rsa), '\0');
  int len =
      RSA_public_encrypt(static_cast<int>(plain.size()), U(plain), U(out), rsa, RSA_PKCS1_PADDING);
  RSA_free(rsa);
  EXPECT_GT(len, 0);
  out.resize(len > 0 ? static_cast<std::size_t>(len) : 0);
  return out;
}
#pragma GCC diagnostic pop

bool OnlyOf(const std::string& text, std::string_view alphabet) {
  return !text.empty() && text.find_first_not_of(alphabet) == std::string::npos;
}
const std::string_view kLowerHex = "0123456789abcdef";
const std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

// The text of a JSON string member, as the service writes it (no escapes).
std::string Member(const std::string& json, const std::string& name) {
  std::size_t start = json.find("\"" + name + "\":\"");
  if (start == std::string::npos) return {};
  start += name.size() + 4;
  return json.substr(start, json.find('"', start) - start);
}

// The DES layer of a reply as the service writes it: text padded with
// spaces, then the clear key part and lowercase hex.
std::string SealReply(const std::string& keyHalf, const std::string& clear, std::string text) {
  text.append(8 - text.size() % 8, ' ');
  return clear + HexLower(RawDes(true, keyHalf + clear, text));
}

class Envelope : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = EVP_RSA_gen(1024);
    client_ = ClientKeyPair::Generate().release();
  }
  static void TearDownTestSuite() {
    EVP_PKEY_free(service_);
    delete client_;
  }
  void SetUp() override {
    ASSERT_NE(service_, nullptr);
    ASSERT_NE(client_, nullptr);
    g_.m_ServerExp = BnHex(service_, OSSL_PKEY_PARAM_RSA_E);
    g_.m_ServerMod = BnHex(service_, OSSL_PKEY_PARAM_RSA_N);
    g_.m_KeyValue = "k3Y9";
    g_.m_TimeStamp = "1700000000";
  }

  struct Opened {
    std::string clear, text, biz, sk, aesKey, fields;
    std::size_t spaces = 0;
  };

  // Takes a request URL apart layer by layer with the libraries alone.
  static Opened Open(const std::string& url, const std::string& prefix, const Global& g) {
    Opened o;
    EXPECT_EQ(url.compare(0, prefix.size(), prefix), 0);
    std::string data = url.substr(prefix.size());
    EXPECT_TRUE(OnlyOf(data, kLowerHex));
    EXPECT_EQ(data.size() % 16, 4u);
    o.clear = data.substr(0, 4);
    std::string padded = RawDes(false, g.m_KeyValue.str() + o.clear, Unhex(data.substr(4)));
    o.text = padded.substr(0, padded.find_last_not_of(' ') + 1);
    o.spaces = padded.size() - o.text.size();
    const std::string middle = "&cl:pc&cv:2.0&pv:2.0&sk:", tail = "&tm:1700000000";
    std::size_t mid = o.text.find(middle);
    bool shaped = o.text.rfind("biz:", 0) == 0 && mid != std::string::npos &&
                  o.text.size() > tail.size() &&
                  o.text.compare(o.text.size() - tail.size(), tail.size(), tail) == 0;
    EXPECT_TRUE(shaped) << o.text;
    if (!shaped) return o;
    o.biz = o.text.substr(4, mid - 4);
    o.sk = o.text.substr(mid + middle.size(), o.text.size() - tail.size() - mid - middle.size());
    EXPECT_TRUE(OnlyOf(o.biz, kBase64) && OnlyOf(o.sk, kBase64)) << o.text;
    o.aesKey = RawRsaPrivateDecrypt(service_, RawBase64Decode(o.sk));
    o.fields = RawAes(false, true, o.aesKey, RawBase64Decode(o.biz));
    return o;
  }

  // The inner layer as the service seals it under the client's public half.
  static std::string SealInnerReply(const std::string& aesKey, const std::string& inner) {
    std::string sk =
        RawBase64Encode(RawRsaPublicEncrypt(client_->ExponentHex(), client_->ModulusHex(), aesKey));
    std::string biz = RawBase64Encode(RawAes(true, true, aesKey, inner));
    return R"({"status":"OK","sk":")" + sk + R"(","biz":")" + biz + R"("})";
  }

  static EVP_PKEY* service_;
  static ClientKeyPair* client_;
  Global g_;
  const std::string prefix_ = "https://127.0.0.1/velmor/login.do?data=";
};
EVP_PKEY* Envelope::service_ = nullptr;
ClientKeyPair* Envelope::client_ = nullptr;

TEST_F(Envelope, OpensBackToTheFieldString) {
  const std::string fields = "user:alice&psd:e10adc3949ba59abbe56e057f20f883e&exp:010001&mod:AB";
  std::string url;
  ASSERT_TRUE(BuildEnvelope(g_, fields, prefix_, url));
  Opened o = Open(url, prefix_, g_);
  EXPECT_EQ(o.fields, fields);
  EXPECT_EQ(o.sk.size(), 172u);
  EXPECT_EQ(o.aesKey.size(), 16u);
  EXPECT_TRUE(OnlyOf(o.aesKey, kAesKeyAlphabet));
  EXPECT_EQ(o.spaces, 8 - o.text.size() % 8);

  // Fresh keys every time.
  std::string again;
  ASSERT_TRUE(BuildEnvelope(g_, fields, prefix_, again));
  EXPECT_NE(Open(again, prefix_, g_).aesKey, o.aesKey);
}

TEST_F(Envelope, SixteenBytesOfFieldsGiveAFullPadBlock) {
  std::string url;
  ASSERT_TRUE(BuildEnvelope(g_, "0123456789abcdef", prefix_, url));
  Opened o = Open(url, prefix_, g_);
  EXPECT_EQ(o.biz.size(), 44u);
  EXPECT_EQ(o.fields, "0123456789abcdef");
}

TEST_F(Envelope, FieldStringLimitAndKeyFaults) {
  std::string url = "kept";
  EXPECT_FALSE(BuildEnvelope(g_, std::string(752, 'x'), prefix_, url));
  EXPECT_EQ(url, "kept");
  ASSERT_TRUE(BuildEnvelope(g_, std::string(751, 'x'), prefix_, url));
  EXPECT_EQ(Open(url, prefix_, g_).fields, std::string(751, 'x'));

  url = "kept";
  Global noKey;
  noKey.m_KeyValue = "k3Y9";
  EXPECT_FALSE(BuildEnvelope(noKey, "a:b", prefix_, url));
  noKey.m_ServerExp = "010001";
  noKey.m_ServerMod = "ZZ" + g_.m_ServerMod.str().substr(2);
  EXPECT_FALSE(BuildEnvelope(noKey, "a:b", prefix_, url));
  g_.m_KeyValue = "";  // no handshake yet
  EXPECT_FALSE(BuildEnvelope(g_, "a:b", prefix_, url));
  EXPECT_EQ(url, "kept");
}

TEST(Wrap, PadsWithOneToEightSpaces) {
  std::string text = "0123456789abcdef", out;
  ASSERT_TRUE(SharedKeyWrap("k3Y9", text, out));
  EXPECT_EQ(text, "0123456789abcdef        ");  // a multiple of 8 still gets 8
  ASSERT_EQ(out.size(), 4u + 48u);
  EXPECT_EQ(RawDes(false, "k3Y9" + out.substr(0, 4), Unhex(out.substr(4))), text);

  text = "thirteen char";
  ASSERT_TRUE(OwnKeyWrap(text, out));
  EXPECT_EQ(text, "thirteen char   ");
  ASSERT_EQ(out.size(), 8u + 32u);
  EXPECT_TRUE(OnlyOf(out, kLowerHex));
  EXPECT_EQ(RawDes(false, out.substr(0, 8), Unhex(out.substr(8))), text);
}

TEST(Wrap, RefusesOversizedTextAndBadKeyValue) {
  std::string text(32759, 'x'), out;
  EXPECT_TRUE(SharedKeyWrap("k3Y9", text, out));  // padded to 32,760
  text.assign(32760, 'x');
  out = "kept";
  EXPECT_FALSE(SharedKeyWrap("k3Y9", text, out));  // would be 32,768
  EXPECT_FALSE(OwnKeyWrap(text, out));
  EXPECT_EQ(text.size(), 32760u);
  EXPECT_EQ(out, "kept");
  text = "short";
  EXPECT_FALSE(SharedKeyWrap("k3Y", text, out));
  EXPECT_EQ(text, "short");
}

TEST_F(Envelope, SharedKeyReplyOpensToTheInnerDocument) {
  const std::string aesKey = "Q7pLm2Zx9RtV4bNc";
  const std::string inner = R"({"user":{"name":"alice","token":"t0k"}})";
  const std::string reply = SealInnerReply(aesKey, inner);
  std::string body = SealReply("k3Y9", "3f9a", reply), json, key, text;
  DecodeSharedKeyReply("k3Y9", body, json, 524288);
  ASSERT_EQ(json.substr(0, reply.size()), reply);
  EXPECT_EQ(json.find_first_not_of(' ', reply.size()), std::string::npos);  // padding stays

  ASSERT_TRUE(DecodeInnerReply(*client_, Member(json, "sk"), Member(json, "biz"), key, text, 1024));
  EXPECT_EQ(key, aesKey);
  EXPECT_EQ(text, inner);

  // A wrong secret half (not one that differs in parity bits only) gives garbage.
  DecodeSharedKeyReply("x3Y9", body, json, 524288);
  EXPECT_NE(json.substr(0, reply.size()), reply);
}

TEST_F(Envelope, OwnKeyReplyOpensToTheInnerDocument) {
  const std::string aesKey = "a1B2c3D4e5F6g7H8";
  const std::string inner = R"({"serverBean":{"keyValue":"k3Y9","pubKey":"x"}})";
  const std::string reply = SealInnerReply(aesKey, inner);
  std::string json, key, text;
  DecodeOwnKeyReply(SealReply("", "0a1b2c3d", reply), json, 262144);
  ASSERT_EQ(json.substr(0, reply.size()), reply);
  const std::string sk = Member(json, "sk"), biz = Member(json, "biz");
  ASSERT_TRUE(DecodeInnerReply(*client_, sk, biz, key, text, inner.size() + 1));
  EXPECT_EQ(key, aesKey);
  EXPECT_EQ(text, inner);
  EXPECT_FALSE(DecodeInnerReply(*client_, sk, biz, key, text, inner.size()));
}

TEST(ReplyLayer, BodiesTooShortForTheirKeyDecodeToNothing) {
  std::string out = "stale";
  DecodeSharedKeyReply("k3Y9", "3f9a", out, 1024);
  EXPECT_EQ(out, "");
  out = "stale";
  DecodeSharedKeyReply("k3Y9", "3f9", out, 1024);
  EXPECT_EQ(out, "");
  out = "stale";
  DecodeOwnKeyReply("0a1b2c3", out, 1024);
  EXPECT_EQ(out, "");
  out = "stale";
  DecodeOwnKeyReply("", out, 1024);
  EXPECT_EQ(out, "");
}

TEST(ReplyLayer, ReadsHexPairsByTheirLeadingDigits) {
  const std::string key = "k3Y93f9a";
  // 05 00 0c 00 ab 03 04 07: non-hex pairs, a blank, upper case, an odd last digit.
  const std::string cipher("\x05\x00\x0c\x00\xab\x03\x04\x07", 8);
  const std::string plain = RawDes(false, key, cipher);
  ASSERT_EQ(plain.find('\0'), std::string::npos);
  std::string out;
  DecodeSharedKeyReply("k3Y9", "3f9a5zzzcG fAB03047", out, 1024);
  EXPECT_EQ(out, plain);

  // A short last block is completed with zero bytes.
  std::string twoBlocks = cipher + std::string("\x0a\0\0\0\0\0\0\0", 8);
  std::string expected = RawDes(false, key, twoBlocks);
  expected = expected.substr(0, expected.find('\0'));
  DecodeSharedKeyReply("k3Y9", "3f9a" + HexLower(cipher) + "a", out, 1024);
  EXPECT_EQ(out, expected);
}

TEST(ReplyLayer, NeverWritesPastTheCallersCapacity) {
  const std::string text(40, 'j');  // seals to 48 bytes
  const std::string body = SealReply("k3Y9", "3f9a", text);
  std::string out;
  DecodeSharedKeyReply("k3Y9", body, out, 49);
  EXPECT_EQ(out.substr(0, 40), text);
  DecodeSharedKeyReply("k3Y9", body, out, 48);
  EXPECT_EQ(out, "");
  DecodeSharedKeyReply("k3Y9", body, out, 0);
  EXPECT_EQ(out, "");
  DecodeOwnKeyReply("0a1b2c3d" + std::string(200000, 'f'), out, 1024);
  EXPECT_EQ(out, "");
}

TEST(ReplyLayer, BoundsTheDecodedLength) {
  const std::string block = RawDes(true, "k3Y93f9a", "xxxxxxxx");
  std::string hex;
  for (int i = 0; i < 524288 / 8 + 4; ++i) hex += HexLower(block);
  std::string out;
  DecodeSharedKeyReply("k3Y9", "3f9a" + hex, out, 1 << 20);
  EXPECT_EQ(out, std::string(524288, 'x'));

  const std::string ownBlock = RawDes(true, "0a1b2c3d", "yyyyyyyy");
  hex.clear();
  for (int i = 0; i < 262144 / 8 + 4; ++i) hex += HexLower(ownBlock);
  DecodeOwnKeyReply("0a1b2c3d" + hex, out, 1 << 20);
  EXPECT_EQ(out, std::string(262144, 'y'));
}

TEST_F(Envelope, InnerReplyRefusesBadInput) {
  const std::string aesKey = "Q7pLm2Zx9RtV4bNc";
  const std::string sk =
      RawBase64Encode(RawRsaPublicEncrypt(client_->ExponentHex(), client_->ModulusHex(), aesKey));
  auto bizOf = [&](const std::string& plain) {
    return RawBase64Encode(RawAes(true, false, aesKey, plain));
  };
  std::string key = "kept", text = "kept";
  auto fails = [&](const std::string& s, const std::string& b, std::size_t capacity = 1024) {
    return !DecodeInnerReply(*client_, s, b, key, text, capacity) && key == "kept" &&
           text == "kept";
  };

  EXPECT_TRUE(fails(sk, bizOf(std::string(15, '{') + '\0')));     // pad 0
  EXPECT_TRUE(fails(sk, bizOf(std::string(15, '{') + '\x11')));   // pad 17, more than the data
  EXPECT_TRUE(fails(sk, bizOf(std::string(31, '{') + '\x20')));   // pad 32
  EXPECT_TRUE(fails(sk, RawBase64Encode(std::string(15, 'x'))));  // not whole blocks
  EXPECT_TRUE(fails(sk, ""));
  EXPECT_TRUE(fails(sk, "!!!!"));
  EXPECT_TRUE(fails("Zm9", bizOf(std::string(16, '\x10'))));
  EXPECT_TRUE(fails(RawBase64Encode(std::string(128, '\xff')), bizOf(std::string(16, '\x10'))));
  EXPECT_TRUE(fails(RawBase64Encode(std::string(128, '\0')), bizOf(std::string(16, '\x10'))));
  EXPECT_TRUE(fails(RawBase64Encode(std::string(1025, '\x01')), bizOf(std::string(16, '\x10'))));
  EXPECT_TRUE(fails(sk, RawBase64Encode(std::string(262160, 'b'))));
  for (std::size_t size : {15u, 17u}) {
    std::string wrongKey = RawBase64Encode(
        RawRsaPublicEncrypt(client_->ExponentHex(), client_->ModulusHex(), std::string(size, 'k')));
    EXPECT_TRUE(fails(wrongKey, bizOf(std::string(16, '\x10')))) << size;
  }
  EXPECT_TRUE(fails(sk, bizOf(std::string(1000, 'i') + std::string(8, '\x08')), 1000));

  // A whole block of padding leaves an empty document, which is not a failure here.
  ASSERT_TRUE(DecodeInnerReply(*client_, sk, bizOf(std::string(16, '\x10')), key, text, 1));
  EXPECT_EQ(key, aesKey);
  EXPECT_EQ(text, "");
}

TEST(Hashes, TokenAndPasswordHashMatchTheOpensslTool) {
  // echo -n TEXT | openssl dgst -sha1 -hmac 'Rk3wPz8eVb2q@mYd@'
  EXPECT_EQ(TokenOf(kAppSecret, ""), "066e06540f3cb986d92a54a6cd10cdd30c1e27b5");
  EXPECT_EQ(TokenOf(kAppSecret, "2.017000000002.0pc"), "3c0c9609080952bfc4b179a2bed5e525d6ce8e0a");
  EXPECT_EQ(TokenOf(kAppSecret, "pcvelmor2.02.0"), "f1d3c156cd6ae899ae560ac150b3e7570456f170");
  EXPECT_EQ(TokenOf(kAppSecret, std::string("pc\0x", 4)), TokenOf(kAppSecret, "pc"));
  EXPECT_EQ(PasswordHash("123456"), "e10adc3949ba59abbe56e057f20f883e");
}

TEST(StoredPassword, FormRevealsAndMatches) {
  // echo -n abcdef | openssl dgst -md5 -hmac 'Wq4Zr_tKebLoxsN@@5'
  //   -> 7b94aefda1c7f67b5d44a74c355e4730
  std::string stored, back;
  ASSERT_TRUE(StoredPasswordForm("abcdef1", stored));
  EXPECT_EQ(stored, "7ba94baecfdda1ec7ff67b5d44a74c355e47301");
  EXPECT_EQ(stored.size(), 39u);
  ASSERT_TRUE(RevealStoredPassword(stored, back));
  EXPECT_EQ(back, "abcdef1");
  EXPECT_TRUE(MatchesStoredPassword("abcdef1", stored));
  EXPECT_FALSE(MatchesStoredPassword("abcdef2", stored));
  EXPECT_FALSE(MatchesStoredPassword("Abcdef1", stored));

  back = "kept";
  EXPECT_FALSE(StoredPasswordForm("abcde", stored));
  EXPECT_FALSE(RevealStoredPassword(stored.substr(0, 37), back));
  std::string tampered = stored;
  tampered[2] = 'x';  // a clear character no longer matches its digits
  EXPECT_FALSE(RevealStoredPassword(tampered, back));
  tampered = stored;
  tampered[1] = 'B';  // digits are lower case only
  EXPECT_FALSE(RevealStoredPassword(tampered, back));
  EXPECT_EQ(back, "kept");
}

TEST(PercentEncode, EncodesEveryByte) {
  std::string out;
  ASSERT_TRUE(PercentEncode("\r\n", out));
  EXPECT_EQ(out, "%0D%0A");
  ASSERT_TRUE(PercentEncode("中", out));
  EXPECT_EQ(out, "%E4%B8%AD");
  ASSERT_TRUE(PercentEncode("a&b:c", out));
  EXPECT_EQ(out, "%61%26%62%3A%63");
  ASSERT_TRUE(PercentEncode(std::string(259, 'x'), out));
  EXPECT_EQ(out.size(), 777u);

  out = "kept";
  EXPECT_FALSE(PercentEncode(std::string(260, 'x'), out));
  EXPECT_FALSE(PercentEncode("\xe4\xb8", out));  // cut inside a character
  EXPECT_EQ(out, "kept");
}

}  // namespace
}  // namespace lumivex
