#include "FtpClientFixture.h"

#include <algorithm>

namespace testing_support {

std::unique_ptr<TempDir> FtpClientTest::root_;
std::unique_ptr<FtpTestServer> FtpClientTest::server_;

int RecordingDisplay::Count(const std::wstring& text) const {
  return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

void FtpClientTest::StartServer(const std::function<void(const std::wstring&)>& buildTree) {
  root_ = std::make_unique<TempDir>(L"ftproot");
  buildTree(root_->Path());
  server_ = std::make_unique<FtpTestServer>(root_->Path());
  server_->Start();
}

void FtpClientTest::TearDownTestSuite() {
  server_.reset();
  root_.reset();
}

void FtpClientTest::SetUp() {
  ASSERT_TRUE(server_ && server_->Running()) << (server_ ? server_->Error() : "no server");
  server_->ClearFaults();
  local_ = std::make_unique<TempDir>(L"ftplocal");
  ftp_ = NewClient();
}

void FtpClientTest::TearDown() {
  ftp_.reset();
  local_.reset();
}

std::unique_ptr<ClsWinFTP> FtpClientTest::NewClient(
    norvale::FtpWaits waits, std::shared_ptr<norvale::IFtpFileSize> fileSize) {
  display_ = std::make_shared<RecordingDisplay>();
  pump_ = std::make_shared<HookPump>();
  box_ = std::make_shared<norvale::ScriptedMessageBox>();
  norvale::Seams seams = norvale::Seams::System();
  seams.messageBox = box_;
  seams.pump = pump_;
  auto client = std::make_unique<ClsWinFTP>(seams, waits, std::move(fileSize));
  client->ServerIP(server_->Host());
  client->UserID(server_->User());
  client->Pass(server_->Password());
  client->PortNo(static_cast<int16_t>(server_->Port()));
  client->DispObject(display_);
  return client;
}

bool FtpClientTest::Connect(ClsWinFTP& client, int32_t& code) {
  return client.InetConnect(server_->Host(), server_->User(), server_->Password(), code);
}

SYSTEMTIME ListedFixtureTime() { return LocalTime(2020, 3, 4, 12, 0, 0); }

norvale::OleDate ListedFixtureDate() {
  return norvale::OleDate::FromSystemTime(ListedFixtureTime());
}

}  // namespace testing_support
