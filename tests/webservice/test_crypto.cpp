// Known answers from RFC 1321, RFC 2202, RFC 4648, FIPS 197 and the classic
// DES worked example, plus the failure paths of every wrapper.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/text.h"
#include "webservice/crypto.h"

namespace lumivex {
namespace {

std::string Unhex(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

TEST(Digest, Rfc1321Md5Suite) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [input, digest] : cases) EXPECT_EQ(HexLower(Md5(input)), digest) << input;
  EXPECT_EQ(HexLower(Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");  // FIPS 180
}

TEST(Digest, Rfc2202HmacVectors) {
  struct Case {
    std::string key, data;
    const char* md5;
    const char* sha1;
  };
  const std::string key25 = Unhex("0102030405060708090a0b0c0d0e0f10111213141516171819");
  const Case cases[] = {
      {"\x0b", "Hi There", "9294727a3638bb1c13f48ef8158bfc9d",
       "b617318655057264e28bc0b6fb378c8ef146be00"},
      {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738",
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {"\xaa", Repeat('\xdd', 50), "56be34521d144c88dbb8c733f0e8b3f6",
       "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {key25, Repeat('\xcd', 50), "697eaf0aca3a3aea3a75164746ffaa79",
       "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {"\x0c", "Test With Truncation", "56461ef2342edc00f9bab995690efd4c",
       "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {Repeat('\xaa', 80), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd", "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {Repeat('\xaa', 80),
       "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "6f630fad67cda0ee1fb1f562db3aa53e", "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  for (const Case& c : cases) {
    // One-byte keys stand for the RFC's repeated keys: 16 bytes for MD5, 20 for SHA-1.
    std::string md5Key = c.key.size() == 1 ? Repeat(c.key[0], 16) : c.key;
    std::string sha1Key = c.key.size() == 1 ? Repeat(c.key[0], 20) : c.key;
    EXPECT_EQ(HexLower(HmacMd5(md5Key, c.data)), c.md5) << c.data;
    EXPECT_EQ(HexLower(HmacSha1(sha1Key, c.data)), c.sha1) << c.data;
  }
}

TEST(Base64, Rfc4648Vectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, text] : cases) {
    EXPECT_EQ(Base64Encode(plain), text);
    std::string decoded = "stale";
    ASSERT_TRUE(Base64Decode(text, decoded, 64)) << text;
    EXPECT_EQ(decoded, plain);
  }
  std::string binary("\x00\xff\x10", 3);
  std::string back;
  ASSERT_TRUE(Base64Decode(Base64Encode(binary), back, 3));
  EXPECT_EQ(back, binary);
}

TEST(Base64, SkipsLineBreaksAndRejectsTheRest) {
  std::string out;
  ASSERT_TRUE(Base64Decode("Zm9v\r\nYmFy", out, 64));
  EXPECT_EQ(out, "foobar");
  ASSERT_TRUE(Base64Decode("Zm9v\nYmFy\n", out, 64));
  EXPECT_EQ(out, "foobar");

  for (const char* bad : {"Zm9v!mFy", "Zm9v YmFy", "Zm9vYmFy ", "Zm9v\rYmFy", "Zm9vYmF", "Zm9vY",
                          "Zm8=Zm8=", "Z===", "-_=="}) {
    out = "kept";
    EXPECT_FALSE(Base64Decode(bad, out, 64)) << bad;
    EXPECT_EQ(out, "kept");
  }
  EXPECT_FALSE(Base64Decode(std::string("Zm9v\0YmFy", 9), out, 64));

  EXPECT_TRUE(Base64Decode("Zm9vYmFy", out, 6));
  EXPECT_FALSE(Base64Decode("Zm9vYmFy", out, 5));
  EXPECT_FALSE(Base64Decode("Zm9vYg==", out, 3));
}

TEST(Aes, Fips197AppendixC1) {
  const std::string key = Unhex("000102030405060708090a0b0c0d0e0f");
  const std::string plain = Unhex("00112233445566778899aabbccddeeff");
  const std::string cipher = Unhex("69c4e0d86a7b0430d8cdb78070b4c55a");
  std::string out;
  ASSERT_TRUE(AesEcbEncryptPkcs7(key, plain, out));
  ASSERT_EQ(out.size(), 32u);  // whole block of data: a whole block of padding follows
  EXPECT_EQ(out.substr(0, 16), cipher);
  std::string pad;
  ASSERT_TRUE(AesEcbDecryptRaw(key, out.substr(16), pad));
  EXPECT_EQ(pad, Repeat('\x10', 16));

  ASSERT_TRUE(AesEcbDecryptRaw(key, cipher, out));
  EXPECT_EQ(out, plain);
}

TEST(Aes, RefusesBadSizes) {
  std::string out = "kept";
  EXPECT_FALSE(AesEcbEncryptPkcs7("short", "x", out));
  EXPECT_FALSE(AesEcbDecryptRaw(Repeat('k', 16), Repeat('c', 15), out));
  EXPECT_FALSE(AesEcbDecryptRaw(Repeat('k', 17), Repeat('c', 16), out));
  EXPECT_EQ(out, "kept");
  ASSERT_TRUE(AesEcbEncryptPkcs7(Repeat('k', 16), "", out));
  EXPECT_EQ(out.size(), 16u);
}

TEST(Des, ClassicWorkedExampleAndParity) {
  const std::string key = Unhex("133457799bbcdff1");
  const std::string plain = Unhex("0123456789abcdef");
  const std::string cipher = Unhex("85e813540f0ab405");
  std::string out;
  ASSERT_TRUE(DesEcbEncrypt(key, plain, out));
  EXPECT_EQ(out, cipher);
  ASSERT_TRUE(DesEcbDecrypt(key, cipher, out));
  EXPECT_EQ(out, plain);

  // The low bit of each key byte is parity only.
  std::string flipped = key;
  for (char& c : flipped) c = static_cast<char>(c ^ 1);
  ASSERT_TRUE(DesEcbEncrypt(flipped, plain, out));
  EXPECT_EQ(out, cipher);

  out = "kept";
  EXPECT_FALSE(DesEcbEncrypt(key, "seven77", out));
  EXPECT_FALSE(DesEcbDecrypt("1234567", plain, out));
  EXPECT_EQ(out, "kept");
}

TEST(Random, DrawsOnlyFromTheAlphabetAndReachesAllOfIt) {
  const std::string alphabet = "0123456789abcdef";
  std::string drawn = RandomChars(alphabet, 4096);
  ASSERT_EQ(drawn.size(), 4096u);
  std::set<char> seen(drawn.begin(), drawn.end());
  EXPECT_EQ(seen, std::set<char>(alphabet.begin(), alphabet.end()));
  EXPECT_TRUE(RandomChars("", 4).empty());
  EXPECT_EQ(RandomChars("x", 3), "xxx");
}

class Rsa : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { keys_ = ClientKeyPair::Generate().release(); }
  static void TearDownTestSuite() {
    delete keys_;
    keys_ = nullptr;
  }
  static ClientKeyPair* keys_;
};
ClientKeyPair* Rsa::keys_ = nullptr;

TEST_F(Rsa, KeyPairExportsAsBnToHexWritesIt) {
  ASSERT_NE(keys_, nullptr);
  EXPECT_TRUE(keys_->Check());
  EXPECT_EQ(keys_->ExponentHex(), "010001");
  std::string mod = keys_->ModulusHex();
  ASSERT_EQ(mod.size(), 256u);
  EXPECT_EQ(mod.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST_F(Rsa, RoundTripsThroughThePublicHalf) {
  ASSERT_NE(keys_, nullptr);
  std::string cipher, plain;
  ASSERT_TRUE(
      RsaEncryptPublicHex(keys_->ExponentHex(), keys_->ModulusHex(), "AbCdEfGh01234567", cipher));
  EXPECT_EQ(cipher.size(), 128u);
  ASSERT_TRUE(keys_->Decrypt(cipher, plain));
  EXPECT_EQ(plain, "AbCdEfGh01234567");
  // PKCS#1 v1.5 is randomised: the same text never seals the same way twice.
  std::string again;
  ASSERT_TRUE(
      RsaEncryptPublicHex(keys_->ExponentHex(), keys_->ModulusHex(), "AbCdEfGh01234567", again));
  EXPECT_NE(again, cipher);
}

TEST_F(Rsa, RefusesMalformedKeysAndGarbage) {
  ASSERT_NE(keys_, nullptr);
  const std::string mod = keys_->ModulusHex();
  std::string out = "kept";
  for (const std::string& exp :
       {std::string(), std::string("01000G"), std::string("-010001"), std::string("01 0001")})
    EXPECT_FALSE(RsaEncryptPublicHex(exp, mod, "k", out)) << exp;
  EXPECT_FALSE(RsaEncryptPublicHex("010001", "", "k", out));
  EXPECT_FALSE(RsaEncryptPublicHex("010001", mod.substr(0, 255) + "x", "k", out));
  EXPECT_FALSE(RsaEncryptPublicHex("010001", "0F", "k", out));  // far too small for the padding
  EXPECT_EQ(out, "kept");

  EXPECT_FALSE(keys_->Decrypt("", out));
  EXPECT_FALSE(keys_->Decrypt(Repeat('\xff', 128), out));  // above the modulus
  EXPECT_FALSE(keys_->Decrypt(Repeat('\x00', 128), out));  // opens to zeros, no block type 2
  EXPECT_FALSE(keys_->Decrypt(Repeat('\x01', 129), out));
  EXPECT_FALSE(keys_->Decrypt("short", out));
  EXPECT_EQ(out, "kept");
}

}  // namespace
}  // namespace lumivex
