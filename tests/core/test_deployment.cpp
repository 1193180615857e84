// Deployment settings and the URLs built from them.

#include <gtest/gtest.h>

#include "core/deployment.h"
#include "core/global.h"
#include "core/program_folder.h"

namespace lumivex {
namespace {

TEST(Deployment, IniValuesReachGlobalAndTheUrls) {
  DeploymentSettings s;
  std::string error;
  ASSERT_TRUE(ParseDeploymentIni("# stand-in cloud\n[service]\nhost = 127.0.0.1\nport=8443\r\n"
                                 "web_port = 8443\nscheme=https\nca_file = state/ca.pem\ntls_verify=1\n",
                                 s, error))
      << error;
  Global g;
  ASSERT_TRUE(ApplyDeployment(s, "/opt/lumivex", g, error));
  EXPECT_EQ(g.caFile, "/opt/lumivex/state/ca.pem");
  EXPECT_EQ(OperationUrlPrefix(g, "login"), "https://127.0.0.1:8443/velmor/login.do?data=");
  EXPECT_EQ(WebPortUrlPrefix(g, "checkVersion"), "https://127.0.0.1:8443/velmor/checkVersion.do?data=");
  EXPECT_EQ(ThumbnailUrl(g, "/img/a.png"), "http://127.0.0.1:8443/img/a.png");
}

TEST(Deployment, DefaultPortIsLeftOutOfTheUrls) {
  Global g;
  g.m_Host = "cloud.example";
  EXPECT_EQ(OperationUrlPrefix(g, "security"), "https://cloud.example/velmor/security.do?data=");
  EXPECT_EQ(WebPortUrlPrefix(g, "saveAdvise"), "https://cloud.example:80/velmor/saveAdvise.do?data=");
  g.port = 443;
  EXPECT_EQ(OperationUrlPrefix(g, "devList"), "https://cloud.example/velmor/devList.do?data=");
  EXPECT_EQ(ThumbnailUrl(g, "/t.png"), "http://cloud.example/t.png");
}

TEST(Deployment, BadLinesAreRefusedWithTheirNumber) {
  std::string error;
  DeploymentSettings s;
  EXPECT_FALSE(ParseDeploymentIni("host=a\nport=99999\n", s, error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_FALSE(ParseDeploymentIni("scheme=ftp\n", s, error));
  EXPECT_FALSE(ParseDeploymentIni("hots=a\n", s, error));
  EXPECT_FALSE(ParseDeploymentIni("just words\n", s, error));
  EXPECT_FALSE(ParseDeploymentIni("host=evil.example/velmor?x\n", s, error));
  EXPECT_FALSE(ParseDeploymentIni("tls_verify=maybe\n", s, error));
  EXPECT_FALSE(ParseDeploymentIni("local_net = 127.0.0.1\n", s, error));
  EXPECT_FALSE(ParseDeploymentIni("local_net = 127.0.0.300/255.0.0.0\n", s, error));
  ASSERT_TRUE(ParseDeploymentIni("tls_verify = 0\nlocal_net = 127.0.0.1/255.0.0.0\nlan_port=40001\n", s, error));
  EXPECT_FALSE(s.tlsVerify);
  Global g;
  ASSERT_TRUE(ApplyDeployment(s, "/x", g, error));
  EXPECT_EQ(g.lanProbePort, 40001);
  EXPECT_EQ(g.localIpOverride, "127.0.0.1");
  EXPECT_EQ(g.localMaskOverride, "255.0.0.0");
}

TEST(ProgramFolder, HomeOptionWinsThenTheEnvironment) {
  EXPECT_EQ(ResolveProgramFolder("/srv/lumivex/"), "/srv/lumivex");
  setenv("LUMIVEX_HOME", "/var/lib/lumivex", 1);
  EXPECT_EQ(ResolveProgramFolder(""), "/var/lib/lumivex");
  unsetenv("LUMIVEX_HOME");
  EXPECT_EQ(ResolveProgramFolder(""), ExecutableFolder());
  EXPECT_EQ(InFolder("/a/b", "config/x.xml"), "/a/b/config/x.xml");
  EXPECT_EQ(InFolder("/a/b", "/etc/ca.pem"), "/etc/ca.pem");
}

}  // namespace
}  // namespace lumivex
