#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "LinkTestKit.h"

namespace {
// A private folder for the test's files, removed with them.
class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/zk-identity-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string File(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string Output(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[256];
    while (fgets(chunk, sizeof chunk, pipe)) output += chunk;
    pclose(pipe);
  }
  return output;
}

// "AB:CD:..." as openssl prints fingerprints.
std::string Colons(const CertificateFingerprint& fingerprint) {
  std::string text;
  char byte[4];
  for (uint8_t value : fingerprint) {
    std::snprintf(byte, sizeof byte, "%s%02X", text.empty() ? "" : ":", value);
    text += byte;
  }
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The PEM block that starts with this label's BEGIN line.
std::string Block(const std::string& pem, const std::string& label) {
  size_t begin = pem.find("-----BEGIN " + label);
  std::string end = "-----END " + label + "-----\n";
  return pem.substr(begin, pem.find(end, begin) + end.size() - begin);
}
}  // namespace

TEST(TlsIdentity, TheFingerprintIsOpensslsSha256OfTheCertificate) {
  TempFolder folder;
  std::string path = folder.File("presenter.pem");
  std::string error;
  TlsIdentity identity = TlsIdentity::LoadOrCreate(path, &error);
  ASSERT_TRUE(identity.IsValid()) << error;
  std::string printed = Output("openssl x509 -noout -fingerprint -sha256 -in '" + path + "'");
  EXPECT_EQ(printed, "sha256 Fingerprint=" + Colons(identity.Fingerprint()) + "\n");
  // openssl reads the key as P-256 too.
  EXPECT_NE(Output("openssl pkey -noout -text -in '" + path + "'").find("prime256v1"), std::string::npos);
}

TEST(TlsIdentity, AKeptFileGivesTheSameIdentityEveryRunAndOnlyItsOwnerReadsIt) {
  TempFolder folder;
  std::string path = folder.File("presenter.pem");
  std::string error;
  TlsIdentity first = TlsIdentity::LoadOrCreate(path, &error);
  ASSERT_TRUE(first.IsValid()) << error;
  TlsIdentity second = TlsIdentity::LoadOrCreate(path, &error);
  ASSERT_TRUE(second.IsValid()) << error;
  EXPECT_EQ(second.Fingerprint(), first.Fingerprint());
  EXPECT_EQ(second.PrivateKeyDer(), first.PrivateKeyDer());
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  // A viewer pinning the first run's fingerprint accepts the second run.
  TlsPair pair = Handshake(second, first.Fingerprint());
  EXPECT_TRUE(pair.server && pair.client) << pair.serverError << pair.clientError;
}

TEST(TlsIdentity, AFileWhoseKeyIsNotItsCertificatesIsRefused) {
  TempFolder folder;
  std::string error;
  ASSERT_TRUE(TlsIdentity::LoadOrCreate(folder.File("a.pem"), &error).IsValid()) << error;
  ASSERT_TRUE(TlsIdentity::LoadOrCreate(folder.File("b.pem"), &error).IsValid()) << error;
  std::string mixed = Block(ReadFile(folder.File("a.pem")), "CERTIFICATE") +
                      Block(ReadFile(folder.File("b.pem")), "EC PRIVATE KEY");
  std::ofstream(folder.File("mixed.pem")) << mixed;
  error.clear();
  EXPECT_FALSE(TlsIdentity::LoadOrCreate(folder.File("mixed.pem"), &error).IsValid());
  EXPECT_NE(error.find("does not belong"), std::string::npos) << error;
}
