// vlr send as a whole process against the real attestra-sim: the envelope the service keeps,
// its documents byte for byte, the user's files untouched, and the exit statuses.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/standin.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"

namespace {

const std::string kVlr = VLR_BIN_DIR "/vlr";
const vlrtest::SimAccount kAnn{"ann@example.com", "s3cret pass", "1001", "Acme Legal", "u-ann"};
const std::string kLogin = "--email ann@example.com --password 's3cret pass' ";

// A small PDF that readers accept: catalog, page tree, one page with a content stream (which
// carries `payload` bytes of binary filler), and a cross-reference table with the true offsets.
std::string MakePdf(const std::string& text, std::size_t payload) {
  std::string filler(payload, '\0');
  for (std::size_t i = 0; i < payload; ++i) filler[i] = static_cast<char>((i * 7 + payload) & 0xFF);
  const std::string content = "BT /F1 12 Tf 72 720 Td (" + text + ") Tj ET\n% " + filler + "\n";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
  };
  std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

struct FileState {
  std::string content;
  timespec mtime{};
};

FileState StateOf(const std::string& path) {
  FileState s;
  s.content = vlrtest::ReadFile(path);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) s.mtime = st.st_mtim;
  return s;
}

// The names in `dir` that begin with `prefix`.
std::vector<std::string> FilesIn(const std::string& dir, const std::string& prefix = {}) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != ".." &&
          std::string(e->d_name).rfind(prefix, 0) == 0)
        names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

class VlrSendTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<vlrtest::SimProcess>(vlrtest::SimConfig{.accounts = {kAnn}});
    CConfig config;
    config.SetKey("Host", sim_->HostPort());
    config.SetKey("SSL", 0L);
    docs_ = home_.Root() + "/my documents";
    ::mkdir(docs_.c_str(), 0700);
  }

  std::string Pdf(const std::string& name, const std::string& text, std::size_t payload) {
    const std::string path = docs_ + "/" + name;
    vlrtest::WriteFile(path, MakePdf(text, payload));
    return path;
  }

  int Vlr(const std::string& args) {
    out_.clear();
    err_.clear();
    return vlrtest::RunCommand(
        "env -u http_proxy -u https_proxy -u all_proxy -u VLR_EMAIL -u VLR_PASSWORD " + kVlr + " send " + args, &out_,
        &err_);
  }

  // The envelope ID that vlr printed.
  std::string PrintedId() const {
    const std::string prefix = "EnvelopeID: ";
    if (out_.rfind(prefix, 0) != 0 || out_.back() != '\n') return {};
    return out_.substr(prefix.size(), out_.size() - prefix.size() - 1);
  }

  static std::string Q(const std::string& path) { return "'" + path + "'"; }

  std::unique_ptr<vlrtest::SimProcess> sim_;
  std::string docs_;
  std::string out_, err_;
};

TEST_F(VlrSendTest, ThreePdfsArriveByteForByteAndStayUntouched) {
  const std::string a = Pdf("Contract.pdf", "The contract", 10);
  const std::string b = Pdf("Annex & terms.pdf", "Annex", 150000);
  const std::string c = Pdf("Schedule.pdf", "Schedule", 3001);
  const FileState before[] = {StateOf(a), StateOf(b), StateOf(c)};
  ::chmod(b.c_str(), 0400);  // a file the user may not change is still sent

  ASSERT_EQ(Vlr(kLogin +
                "--to 'Ann Signer <ann@example.com>' --cc 'Carl Copy <carl@example.com>' "
                "--to '\"Bea Buyer\" <bea@example.com>' --subject 'Contract & annex' "
                "--message 'Please sign, Jos\xC3\xA9.' " +
                Q(a) + " " + Q(b) + " " + Q(c)),
            0)
      << err_;
  EXPECT_EQ(err_, "");
  const std::string id = PrintedId();
  ASSERT_FALSE(id.empty()) << out_;

  const vlrtest::SimEnvelope env = sim_->Envelope(id);
  EXPECT_EQ(env.action, "CreateAndSendEnvelope");
  EXPECT_EQ(env.accountId, "1001");
  EXPECT_EQ(env.subject, "Contract & annex");
  EXPECT_EQ(env.emailBlurb, "Please sign, Jos\xC3\xA9.");
  ASSERT_EQ(env.documents.size(), 3u);
  const std::string paths[] = {a, b, c};
  const char* const names[] = {"Contract.pdf", "Annex & terms.pdf", "Schedule.pdf"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(env.documents[i].name, names[i]);
    EXPECT_EQ(env.documents[i].id, std::to_string(i + 1));
    EXPECT_EQ(env.documents[i].fileExtension, "pdf");
    EXPECT_TRUE(sim_->EnvelopeDocument(id, i) == before[i].content) << names[i];
  }
  ASSERT_EQ(env.recipients.size(), 3u);
  const char* const who[][3] = {{"Ann Signer", "ann@example.com", "Signer"},
                                {"Carl Copy", "carl@example.com", "CarbonCopy"},
                                {"Bea Buyer", "bea@example.com", "Signer"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(env.recipients[i].id, std::to_string(i + 1));
    EXPECT_EQ(env.recipients[i].userName, who[i][0]);
    EXPECT_EQ(env.recipients[i].email, who[i][1]);
    EXPECT_EQ(env.recipients[i].type, who[i][2]);
    EXPECT_EQ(env.recipients[i].routingOrder, "");
  }
  EXPECT_FALSE(env.notification.expirations);
  EXPECT_FALSE(env.notification.reminders);

  for (int i = 0; i < 3; ++i) {
    const FileState after = StateOf(paths[i]);
    EXPECT_TRUE(after.content == before[i].content) << paths[i];
    EXPECT_EQ(after.mtime.tv_sec, before[i].mtime.tv_sec) << paths[i];
    EXPECT_EQ(after.mtime.tv_nsec, before[i].mtime.tv_nsec) << paths[i];
  }
  EXPECT_EQ(FilesIn(docs_).size(), 3u);
  // No temporary copy, request or answer is left behind (the simulator's folder is there too).
  // Not even after a lost connection: the request holds the password and the documents.
  EXPECT_TRUE(FilesIn(home_.Tmp(), "ATg").empty());
}

TEST_F(VlrSendTest, OptionsReachTheEnvelope) {
  const std::string a = Pdf("a.pdf", "A", 100);
  ASSERT_EQ(Vlr(kLogin +
                "--to 'Ann <ann@example.com>' --to 'Bob <Bob@Example.com>' --expire-after 30 --expire-warn 5 "
                "--remind-after 2 --remind-freq 3 --routing-order --access-code bob@example.com=4711 " +
                Q(a)),
            0)
      << err_;
  const vlrtest::SimEnvelope env = sim_->Envelope(PrintedId());
  EXPECT_EQ(env.subject, "no subject");
  EXPECT_EQ(env.emailBlurb, "");
  EXPECT_TRUE(env.notification.expirations);
  EXPECT_EQ(env.notification.expireEnabled, true);
  EXPECT_EQ(env.notification.expireAfter, 30);
  EXPECT_EQ(env.notification.expireWarn, 5);
  EXPECT_TRUE(env.notification.reminders);
  EXPECT_EQ(env.notification.reminderDelay, 2);
  EXPECT_EQ(env.notification.reminderFrequency, 3);
  ASSERT_EQ(env.recipients.size(), 2u);
  EXPECT_EQ(env.recipients[0].routingOrder, "1");
  EXPECT_EQ(env.recipients[1].routingOrder, "2");
  EXPECT_EQ(env.recipients[0].accessCode, "");
  EXPECT_EQ(env.recipients[1].accessCode, "4711");
}

TEST_F(VlrSendTest, CreateOnlyCreatesWithoutSending) {
  const std::string a = Pdf("a.pdf", "A", 100);
  ASSERT_EQ(Vlr(kLogin + "--create-only --to 'Ann <ann@example.com>' " + Q(a)), 0) << err_;
  const vlrtest::SimEnvelope env = sim_->Envelope(PrintedId());
  EXPECT_EQ(env.action, "CreateEnvelope");
  EXPECT_TRUE(env.sent.empty()) << env.status;
}

TEST_F(VlrSendTest, ABlueprintPlacesTabsByItsAnchors) {
  const std::string folder = home_.Root() + "/blueprints";
  ::mkdir(folder.c_str(), 0700);
  CConfig().SetKey("BlueprintFolder", folder);
  vlrtest::WriteFile(folder + "/Sale.xml", vlrtest::ReadFile(VLR_TEST_DATA_DIR "/send_blueprint.xml"));
  const std::string contract = Pdf("contract.pdf", "Sign at [BuyerSignHere]", 100);

  ASSERT_EQ(Vlr(kLogin + "--blueprint Sale --to 'Jose B <jose@example.com>' --to 'Sam S <sam@example.com>' " +
                Q(contract)),
            0)
      << err_;
  const vlrtest::SimEnvelope env = sim_->Envelope(PrintedId());
  // The blueprint's texts and periods serve where the options give none.
  EXPECT_EQ(env.subject, "Sale of the house");
  EXPECT_EQ(env.emailBlurb, "Please sign.");
  EXPECT_EQ(env.notification.expireAfter, 30);
  EXPECT_EQ(env.notification.reminderDelay, 2);
  ASSERT_EQ(env.recipients.size(), 2u);
  EXPECT_EQ(env.recipients[0].userName, "Jose B");
  EXPECT_EQ(env.recipients[0].routingOrder, "1");
  EXPECT_EQ(env.recipients[1].userName, "Sam S");
  EXPECT_EQ(env.recipients[1].routingOrder, "2");
  ASSERT_EQ(env.tabs.size(), 3u);
  const char* const expected[][3] = {
      {"1", "SignHere", "[Buyer&SignHere]"}, {"1", "DateSigned", "[BuyerDateSigned]"}, {"2", "SignHere", "[SellerSignHere]"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(env.tabs[i].recipientId, expected[i][0]);
    EXPECT_EQ(env.tabs[i].type, expected[i][1]);
    ASSERT_TRUE(env.tabs[i].anchor.has_value());
    EXPECT_EQ(env.tabs[i].anchor->at("AnchorTabString"), expected[i][2]);
    EXPECT_EQ(env.tabs[i].anchor->at("IgnoreIfNotPresent"), "true");
  }

  // A path names a blueprint file directly; options win over the blueprint's values.
  ASSERT_EQ(Vlr(kLogin + "--blueprint " + Q(folder + "/Sale.xml") +
                " --subject Mine --expire-after 9 --to 'Jose B <jose@example.com>' --to 'Sam S <sam@example.com>' " +
                Q(contract)),
            0)
      << err_;
  const vlrtest::SimEnvelope second = sim_->Envelope(PrintedId());
  EXPECT_EQ(second.subject, "Mine");
  EXPECT_EQ(second.notification.expireAfter, 9);
}

// A signer that stands for the sender is the mail profile's current user, with its SMTP address;
// without a profile or the "Identity" setting the send stops before anything goes out.
TEST_F(VlrSendTest, ASenderSignerIsTheProfileUser) {
  const std::string folder = home_.Root() + "/blueprints";
  ::mkdir(folder.c_str(), 0700);
  CConfig().SetKey("BlueprintFolder", folder);
  vlrtest::WriteFile(folder + "/Approval.xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?><vlrBlueprint><Name>Approval</Name>\n"
                     "<Documents><Document><Key>memo.pdf</Key>\n<Name>memo.pdf</Name>\n</Document></Documents>"
                     "<Signers><Signer><Name></Name>\n<Email></Email>\n<ID>1</ID>\n<Role>Author</Role>\n"
                     "<Sequence>1</Sequence>\n<Sender>1</Sender>\n<Mode>Signer</Mode>\n</Signer>"
                     "<Signer><Name></Name>\n<Email></Email>\n<ID>2</ID>\n<Role>Approver</Role>\n"
                     "<Sequence>2</Sequence>\n<Mode>Signer</Mode>\n</Signer></Signers></vlrBlueprint>\n");
  const std::string memo = Pdf("memo.pdf", "Memo", 10);
  const std::string args = kLogin + "--blueprint Approval --to 'Bob B <bob@example.com>' " + Q(memo);

  EXPECT_EQ(Vlr(args), 2);
  EXPECT_NE(err_.find("sender"), std::string::npos) << err_;
  EXPECT_TRUE(sim_->EnvelopeIds(kAnn.accountId).empty());

  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  {
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    outlook::Directory dir(*store);
    dir.EnableExchange("Acme");
    dir.SetCurrentUser(dir.AddUser({0, "Ann Author", "aauthor", "", 0, "", "", {"SMTP:ann@example.com"}}).id);
  }
  ASSERT_EQ(Vlr(args), 0) << err_;
  const vlrtest::SimEnvelope env = sim_->Envelope(PrintedId());
  ASSERT_EQ(env.recipients.size(), 2u);
  bool author = false, approver = false;
  for (const auto& r : env.recipients) {
    author |= r.userName == "Ann Author" && r.email == "ann@example.com";
    approver |= r.userName == "Bob B" && r.email == "bob@example.com";
  }
  EXPECT_TRUE(author && approver);
}

// A blueprint that carries its own document needs no file: the document goes as it is kept.
TEST_F(VlrSendTest, ABlueprintsEmbeddedDocumentIsSentToo) {
  const std::string embedded = MakePdf("Terms of the sale", 2000);
  const std::string path = docs_ + "/Terms.xml";
  std::string base64;
  {
    const std::string plain = docs_ + "/terms.bin";
    vlrtest::WriteFile(plain, embedded);
    ASSERT_EQ(vlrtest::RunCommand("base64 -w 76 '" + plain + "'", &base64), 0);
    ::unlink(plain.c_str());
  }
  vlrtest::WriteFile(path,
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?><vlrBlueprint><Name>Terms</Name>"
                     "<Documents><Document><Key>Terms.pdf</Key><Name>Terms.pdf</Name><FileBytes>" +
                         base64 +
                         "</FileBytes><Fields></Fields></Document></Documents>"
                         "<Signers><Signer><Name>Buyer</Name><Email>jose@example.com</Email><ID>1</ID>"
                         "<Role>Buyer</Role><Mode>Signer</Mode></Signer></Signers></vlrBlueprint>");
  const std::string cover = Pdf("cover.pdf", "Cover", 10);

  ASSERT_EQ(Vlr(kLogin + "--blueprint " + Q(path) + " --to 'Jose <jose@example.com>' " + Q(cover)), 0) << err_;
  const std::string id = PrintedId();
  const vlrtest::SimEnvelope env = sim_->Envelope(id);
  ASSERT_EQ(env.documents.size(), 2u);
  EXPECT_EQ(env.documents[0].name, "cover.pdf");
  EXPECT_EQ(env.documents[1].name, "Terms.pdf");
  EXPECT_TRUE(sim_->EnvelopeDocument(id, 1) == embedded);

  ASSERT_EQ(Vlr(kLogin + "--blueprint " + Q(path) + " --to 'Jose <jose@example.com>'"), 0) << err_;
  EXPECT_EQ(sim_->Envelope(PrintedId()).documents.size(), 1u);
  EXPECT_TRUE(FilesIn(home_.Tmp(), "ATg").empty());
}

TEST_F(VlrSendTest, BadArgumentsExitWithTwoAndSendNothing) {
  const std::string a = Pdf("a.pdf", "A", 10);
  const std::string unreadable = Pdf("secret.pdf", "S", 10);
  ::chmod(unreadable.c_str(), 0);
  const bool root = ::access(unreadable.c_str(), R_OK) == 0;  // root reads everything
  const std::string to = "--to 'Ann <ann@example.com>' ";
  struct Case {
    std::string args;
    const char* said;
  };
  std::vector<Case> cases = {
      {to + Q(docs_ + "/missing.pdf"), "cannot read the file"},
      {to + Q(docs_), "cannot read the file"},
      {"--to 'Ann <not an address>' " + Q(a), "is not \"Name <address>\""},
      {"--to 'Ann ann@example.com>' " + Q(a), "is not \"Name <address>\""},
      {to + "--expire-after soon " + Q(a), "--expire-after takes a number of days"},
      {to + "--remind-freq -1 " + Q(a), "--remind-freq takes a number of days"},
      {to + "--access-code nobody@example.com=1 " + Q(a), "no recipient has the address"},
      {to + "--access-code ann@example.com " + Q(a), "--access-code takes ADDRESS=CODE"},
      {Q(a), "no recipients"},
      {to, "no documents"},
      {to + "--blueprint Nowhere " + Q(a), "no blueprint named 'Nowhere'"},
      {to + "--bogus " + Q(a), "unexpected argument '--bogus'"},
      {to + "--subject", "unexpected argument '--subject'"},
  };
  if (!root) cases.push_back({to + Q(unreadable), "cannot read the file"});
  for (const Case& c : cases) {
    EXPECT_EQ(Vlr(kLogin + c.args), 2) << c.args;
    EXPECT_NE(err_.find(c.said), std::string::npos) << c.args << "\n" << err_;
    EXPECT_EQ(out_, "");
  }
  EXPECT_TRUE(sim_->EnvelopeIds().empty());
  EXPECT_EQ(Vlr("--help"), 0);
  EXPECT_NE(out_.find("usage: vlr send"), std::string::npos);
}

TEST_F(VlrSendTest, RejectedCredentialsExitWithThree) {
  const std::string a = Pdf("a.pdf", "A", 10);
  EXPECT_EQ(Vlr("--email ann@example.com --password wrong --to 'Ann <ann@example.com>' " + Q(a)), 3);
  EXPECT_NE(err_.find("Your user credentials were rejected by Attestra."), std::string::npos) << err_;
  EXPECT_EQ(out_, "");
  EXPECT_TRUE(sim_->EnvelopeIds().empty());
}

TEST_F(VlrSendTest, ARefusalOrALostConnectionExitsWithFour) {
  const std::string a = Pdf("a.pdf", "A", 10);
  const std::string args = kLogin + "--to 'Ann <ann@example.com>' " + Q(a);
  // The login goes through; the envelope request meets the injection.
  sim_->InjectDelay(0);
  sim_->InjectFault("soap:Client", "The envelope holds no signer.");
  EXPECT_EQ(Vlr(args), 4);
  EXPECT_NE(err_.find("vlr send: The envelope holds no signer."), std::string::npos) << err_;
  EXPECT_EQ(out_, "");

  sim_->InjectDelay(0);
  sim_->InjectDrop();
  EXPECT_EQ(Vlr(args), 4);
  EXPECT_NE(err_.find("Your connection to the remote service has failed."), std::string::npos) << err_;

  sim_->InjectDelay(0);
  sim_->InjectStatus(503);
  EXPECT_EQ(Vlr(args), 4);
  EXPECT_NE(err_.find("HTTP status 503"), std::string::npos) << err_;

  EXPECT_TRUE(sim_->EnvelopeIds().empty());
  // Not even after a lost connection: the request holds the password and the documents.
  EXPECT_TRUE(FilesIn(home_.Tmp(), "ATg").empty());
}

}  // namespace
