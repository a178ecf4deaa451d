// The envelope creation request as the service reads it: the simple body, a blueprint's anchor
// tabs, a template's documents and custom fields, the composite body and its broadcast pieces,
// the notification block, the e-mail blurb, the documents' Base64 text, and the answer.
#include "operations/opsenddoc.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "foundation/base64.h"
#include "foundation/xmlio.h"
#include "model/anchor.h"
#include "model/blueprint.h"
#include "model/template.h"
#include "tests/operations/opsenddoc_expect.h"
#include "tests/support/testenv.h"

namespace {

using sendtest::MatchesExpected;

const char* const kUrl = "https://api.example.test/api/3.0/api.asmx";

CCredentials Ann() {
  CCredentials c;
  c.email = "ann@example.com";
  c.password = "pw";
  c.userId = "u-ann";
  c.accountId = "1001";
  c.accountName = "Acme";
  return c;
}

std::unique_ptr<CRecip> Recipient(std::string name, std::string email, std::string type, int id) {
  auto r = std::make_unique<CRecip>();
  r->Name = std::move(name);
  r->Email = std::move(email);
  r->Type = std::move(type);
  r->ID = id;
  return r;
}

// The text between the first `open` and the next `close`; empty when either is missing.
std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const auto a = text.find(open);
  if (a == std::string::npos) return {};
  const auto b = text.find(close, a + open.size());
  if (b == std::string::npos) return {};
  return text.substr(a + open.size(), b - a - open.size());
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

class OpSendDocTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    docs_ = home_.Root() + "/docs";
    ::mkdir(docs_.c_str(), 0700);
  }

  // A document file of the user's.
  std::string Doc(const std::string& name, const std::string& content) {
    const std::string path = docs_ + "/" + name;
    vlrtest::WriteFile(path, content);
    return path;
  }
  // A file holding the Base64 text of `content`, as a template or blueprint keeps its documents.
  std::string Base64Doc(const std::string& name, const std::string& content) {
    const std::string plain = Doc(name + ".bin", content);
    const std::string text = docs_ + "/" + name + ".b64";
    EXPECT_TRUE(File64Coder().EncodeFile(plain, text));
    return text;
  }

  void AddFile(OpSendDoc& op, const std::string& name, const std::string& content) {
    op.AddBodyPart(MakeFileAttachment(Doc(name, content)), name, name);
  }
  void AddMessage(OpSendDoc& op, const std::string& text) {
    op.AddBodyPart(MakeMessageItem(text), "Message", sendtext::kMessageBody, 1);
  }

  static std::string Request(const OpSendDoc& op) { return vlrtest::ReadFile(op.RequestFile()); }

  std::string docs_;
};

TEST_F(OpSendDocTest, SimpleBodyWithTwoDocumentsAndThreeRecipients) {
  OpSendDoc op(kUrl, Ann());
  AddFile(op, "Terms & Conditions.pdf", "%PDF-1.4\n% terms\n");
  AddMessage(op, "Please sign by Friday.\nThanks, Jos\xC3\xA9 & co.");
  AddFile(op, "notes", "PK\x03\x04 notes");
  auto ann = Recipient("Ann Signer", "ann@example.com", "Signer", 1);
  ann->IDCheck = "Yes";
  ann->AccessCode = "12<34";
  op.Recipients.Append(std::move(ann));
  auto bob = Recipient("Bob \"CC\"", "bob@example.com", "Carbon Copy", 2);
  bob->Note = "For your files";
  op.Recipients.Append(std::move(bob));
  auto cy = Recipient("Cy Cert", "cy@example.com", "Certified Delivery", 3);
  cy->RoutingOrder = "3";  // not written: the options ask for no routing order
  op.Recipients.Append(std::move(cy));
  op.Subject = "Contract & terms";

  ASSERT_TRUE(op.PrepareData()) << std::hex << op.ResultCode();
  EXPECT_EQ(op.Action(), "CreateAndSendEnvelope");
  EXPECT_TRUE(op.BodyFromFile());
  EXPECT_TRUE(op.Pieces().empty());
  EXPECT_TRUE(MatchesExpected(Request(op), "opsenddoc_simple.xml"));
  EXPECT_EQ(op.Kind(), "OpSendDoc");
  EXPECT_STREQ(op.ProgressText(2), "Sending Document(s): %lu of %lu bytes");
  EXPECT_STREQ(op.ProgressText(5), "Documents Sent.");
}

TEST_F(OpSendDocTest, BlueprintAnchorsBecomeAnchorTabs) {
  CBlueprint blueprint;
  ASSERT_EQ(blueprint.Load(sendtest::DataPath("opsenddoc_blueprint.xml")), S_OK);
  CBlueprint mail;
  auto jose = Recipient("Jose B", "jose@example.com", "Signer", 1);
  jose->FromMail = 1;
  mail.Recipients.Append(std::move(jose));
  auto sam = Recipient("Sam S", "sam@example.com", "Carbon Copy", 2);
  sam->FromMail = 1;
  mail.Recipients.Append(std::move(sam));
  ASSERT_EQ(blueprint.ApplyTo(mail), S_OK);

  OpSendDoc op(kUrl, Ann());
  AddFile(op, "contract.pdf", "%PDF-1.4\n% contract\n");
  int id = 1;
  for (const CRecip& r : mail.Recipients) {
    auto copy = r.Clone();
    copy->ID = id++;
    op.Recipients.Append(std::move(copy));
  }
  ASSERT_EQ(AnchorsToTabs(op.Recipients, op.Tabs), 3);
  // An offset that would place the tab left of its anchor goes out as 0; an empty one not at all.
  op.Tabs.First()->XOffset = "-5";
  op.Tabs.First()->YOffset = "";
  auto stray = std::make_unique<CTab>();
  stray->RecipientID = "9";  // nobody: left out
  stray->Type = "SignHere";
  op.Tabs.Append(std::move(stray));
  op.Options.Mode = CSendOptions::kModeGoverned;
  op.Options.RoutingOrder = blueprint.SequenceSignatures;
  ASSERT_EQ(op.Options.SetTransaction(blueprint), S_OK);
  op.Subject = mail.Subject;
  AddMessage(op, mail.Message);

  ASSERT_TRUE(op.PrepareData()) << std::hex << op.ResultCode();
  const std::string request = Request(op);
  EXPECT_TRUE(MatchesExpected(request, "opsenddoc_blueprint_request.xml"));
  EXPECT_EQ(request.find("<RecipientID>9</RecipientID>"), std::string::npos);
}

class TemplateSend : public OpSendDocTest {
 protected:
  std::unique_ptr<CTemplate> MakeTemplate() {
    auto t = std::make_unique<CTemplate>("tpl-7");
    t->Name = "NDA";
    t->SigningLocation = "Online";
    t->AutoNavigation = "true";
    t->AuthoritativeCopy = "false";  // EnvelopeIdStamping stays empty: left out
    const std::pair<const char*, const char*> docs[] = {{"31", "NDA.pdf"}, {"32", "Annex.pdf"}};
    for (const auto& [key, name] : docs) {
      auto d = std::make_unique<CeDoc>();
      d->Key = key;
      d->Name = name;
      d->Description = std::string(key) == "31" ? "Mutual NDA" : "";
      d->FilePath = Base64Doc(name, std::string("%PDF-1.4\n% ") + name + "\n");
      t->Documents.Append(std::move(d));
    }
    auto field = [&](const char* name, const char* show, const char* required, const char* value) {
      auto f = std::make_unique<CCustomField>();
      f->Name = name;
      f->Show = show;
      f->Required = required;
      f->Value = value;
      t->CustomFields.Append(std::move(f));
    };
    field("Region", "True", "False", "EMEA");
    field("Deal", "", "", "");
    auto tab = [&](const char* recipient, const char* type) -> CTab& {
      auto x = std::make_unique<CTab>();
      x->RecipientID = recipient;
      x->Type = type;
      x->DocumentID = "31";
      x->PageNumber = "1";
      x->XPosition = "100";
      x->YPosition = "200";
      return *t->Tabs.Append(std::move(x));
    };
    auto bound = [](CTab& x, const char* kind, const char* value) {
      x.BoundField = std::make_unique<CKeywordValue>();
      x.BoundField->Kind = kind;
      x.BoundField->Value = value;
    };
    CTab& sign = tab("1", "SignHere");
    sign.YPosition = "-20";
    sign.ScaleValue = "";
    CTab& custom = tab("1", "Custom");
    custom.TabLabel = "Region";
    custom.CustomTabType = "Text";
    custom.CustomTabRequired = "true";
    custom.CustomTabValidationPattern = "^[A-Z]+$";
    bound(tab("2", "Custom"), "Checkbox", "Yes");  // only "yes" checks the box
    bound(tab("2", "Custom"), "Checkbox", "yes");
    CTab& radio = tab("2", "Custom");
    radio.Name = "Blue";
    bound(radio, "Radio", "Red");
    radio.GroupField = std::make_unique<CKeywordValue>();
    radio.GroupField->Value = "Blue";
    CTab& attach = tab("1", "SignerAttachment");
    attach.CustomTabValidationPattern = "never sent";
    attach.CustomTabValidationMessage = "never sent";
    attach.TemplateLocked = "true";
    CTab& byLabel = tab("2", "Custom");
    byLabel.TabLabel = "Deal";
    bound(byLabel, "Text", "42");
    byLabel.BoundField->ByLabel = 1;
    tab("7", "SignHere");  // nobody: left out
    return t;
  }
};

TEST_F(TemplateSend, TemplateDocumentsTabsAndCustomFields) {
  auto t = MakeTemplate();
  OpSendDoc op(kUrl, Ann());
  AddFile(op, "mail.pdf", "%PDF-1.4\n% not sent: the template's documents go\n");
  AddMessage(op, "See the NDA.");
  op.Recipients.Append(Recipient("Ann Signer", "ann@example.com", "Signer", 1));
  op.Recipients.Append(Recipient("Bob Signer", "bob@example.com", "Signer", 2));
  op.Tabs = CloneItems(t->Tabs);
  op.CustomFields = CloneItems(t->CustomFields);
  op.Options.Mode = CSendOptions::kModeGoverned;
  ASSERT_EQ(op.Options.SetTransaction(*t), S_OK);
  op.Subject = "NDA";

  ASSERT_TRUE(op.PrepareData()) << std::hex << op.ResultCode();
  EXPECT_TRUE(MatchesExpected(Request(op), "opsenddoc_template.xml"));
  // The template's Base64 files are the template's: they stay.
  for (const CeDoc& d : t->Documents) EXPECT_FALSE(vlrtest::ReadFile(d.FilePath).empty());
}

class CompositeSend : public OpSendDocTest {
 protected:
  void Fill(OpSendDoc& op) {
    CBlueprint governing;
    governing.Name = "Sale";
    const char* const names[] = {sendtext::kOutlookAttachment, "Addendum.pdf", "Schedule.pdf"};
    const char* const setters[] = {"Buyer", "Seller", "Nobody"};
    for (int i = 0; i < 3; ++i) {
      auto d = std::make_unique<CeDoc>();
      d->Name = names[i];
      if (i > 0) d->FilePath = Base64Doc(names[i], std::string("%PDF-1.4\n% ") + names[i] + "\n");
      if (i == 1) d->Description = "Signed by both";
      auto f = std::make_unique<CKeywordValue>("Field");
      f->Keyword = std::string("field") + std::to_string(i + 1);
      f->Value = setters[i];
      d->Fields.Append(std::move(f));
      governing.Documents.Append(std::move(d));
    }
    AddMessage(op, "Three documents.");
    AddFile(op, "contract.pdf", "%PDF-1.4\n% contract from the mail\n");
    auto buyer = Recipient("Ann Buyer", "ann@example.com", "Signer", 1);
    buyer->RoleName = "Buyer";
    op.Recipients.Append(std::move(buyer));
    auto seller = Recipient("Sam Seller", "sam@example.com", "Signer", 2);
    seller->RoleName = "Seller";
    seller->BroadcastFixed = 1;
    op.Recipients.Append(std::move(seller));
    auto tab = std::make_unique<CTab>();
    tab->RecipientID = "1";
    tab->Type = "SignHere";
    tab->DocumentID = "1";
    tab->PageNumber = "2";
    tab->XPosition = "10";
    tab->YPosition = "20";
    op.Tabs.Append(std::move(tab));
    op.Composite = 1;
    op.Options.Mode = CSendOptions::kModeGoverned;
    op.Options.ExpireAfter = 30;
    op.Options.ExpireWarn = 5;
    ASSERT_EQ(op.Options.SetTransaction(governing), S_OK);
    op.Subject = "Sale";
  }
};

TEST_F(CompositeSend, ThreeDocumentsRepeatTheRecipientsThreeTimes) {
  OpSendDoc op(kUrl, Ann());
  Fill(op);
  ASSERT_TRUE(op.PrepareData()) << std::hex << op.ResultCode();
  EXPECT_EQ(op.Action(), "CreateEnvelopeFromTemplatesAndForms");
  const std::string request = Request(op);
  EXPECT_TRUE(MatchesExpected(request, "opsenddoc_composite.xml"));
  EXPECT_EQ(Count(request, "<Recipients>"), 3);
  EXPECT_EQ(Count(request, "<Notification>"), 2);
}

// The pieces, in order, each as "== name ==" and its file's text (markers have none).
std::string PiecesText(const OpSendDoc& op) {
  std::string text;
  for (const auto& piece : op.Pieces()) {
    text += "== " + piece->Name() + " ==\n";
    if (!piece->IsMarker()) text += vlrtest::ReadFile(piece->Path());
    if (!text.empty() && text.back() != '\n') text += "\n";
  }
  return text;
}

TEST_F(CompositeSend, BroadcastPiecesHoldTheRecipientsOnce) {
  OpSendDoc op(kUrl, Ann());
  Fill(op);
  op.Options.Broadcast = 1;
  op.Options.ReceiptSubject = "Sale receipt";
  ASSERT_TRUE(op.PrepareData()) << std::hex << op.ResultCode();

  std::vector<std::string> names;
  for (const auto& piece : op.Pieces()) names.push_back(piece->Name());
  const std::vector<std::string> group = {"<Template>", "Head", "Tail", "</Template>"};
  std::vector<std::string> expected = {"Head", "Recips", "Tail", "Options"};
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), group.begin(), group.end());
  EXPECT_EQ(names, expected);
  for (const auto& piece : op.Pieces()) {
    EXPECT_EQ(piece->IsMarker(), piece->Path().empty()) << piece->Name();
    EXPECT_FALSE(piece->IsOpen()) << piece->Name();
  }
  EXPECT_EQ(op.RequestFile(), op.Pieces().front()->Path());

  const std::string text = PiecesText(op);
  EXPECT_TRUE(MatchesExpected(text, "opsenddoc_composite_pieces.txt"));
  EXPECT_EQ(Count(text, "<Recipients>"), 1);
  // Not a header in sight: the agent writes a fresh one per envelope.
  EXPECT_EQ(text.find("wsse:Security"), std::string::npos);
}

TEST_F(OpSendDocTest, SimpleBroadcastSplitsAroundTheRecipients) {
  OpSendDoc op(kUrl, Ann());
  AddFile(op, "a.pdf", "%PDF-1.4\n% a\n");
  op.Recipients.Append(Recipient("Target", "t@example.com", "Signer", 7));
  for (const char* who : {"f1@example.com", "f2@example.com"}) {
    auto fixed = Recipient("Fixed", who, "Signer", 8);
    fixed->BroadcastFixed = 1;
    op.Recipients.Append(std::move(fixed));
  }
  op.Options.Broadcast = 1;
  ASSERT_TRUE(op.PrepareData()) << std::hex << op.ResultCode();

  ASSERT_EQ(op.Pieces().size(), 4u);
  const char* const names[] = {"Head", "Recips", "Tail", "Options"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(op.Pieces()[i]->Name(), names[i]);
  const std::string head = vlrtest::ReadFile(op.Pieces()[0]->Path());
  const std::string recips = vlrtest::ReadFile(op.Pieces()[1]->Path());
  const std::string tail = vlrtest::ReadFile(op.Pieces()[2]->Path());
  EXPECT_EQ(head.rfind("<AccountId>1001</AccountId>\n<Documents>", 0), 0u) << head;
  EXPECT_EQ(head.substr(head.size() - 12), "</Documents>");
  EXPECT_EQ(recips.rfind("<Recipients>", 0), 0u);
  EXPECT_EQ(recips.substr(recips.size() - 13), "</Recipients>");
  EXPECT_EQ(tail.rfind("<Subject>no subject</Subject>\n", 0), 0u) << tail;
  // One plain and two fixed recipients: 1, 2 and 3, kept in the recipients.
  std::vector<int> ids;
  for (const CRecip& r : op.Recipients) ids.push_back(r.BroadcastID);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
  EXPECT_NE(recips.find("<ID>1</ID>\n<UserName>Target"), std::string::npos);
  EXPECT_NE(recips.find("<ID>3</ID>\n<UserName>Fixed</UserName>\n<Email>f2&#64;"), std::string::npos);
  // The options piece is the send-options document.
  const std::string options = vlrtest::ReadFile(op.Pieces()[3]->Path());
  EXPECT_EQ(options.rfind("<SendOptions>\n", 0), 0u);
  EXPECT_NE(options.find("<Broadcast>true</Broadcast>\n"), std::string::npos);
}

TEST_F(OpSendDocTest, NotificationBlockFollowsExpiryAndReminders) {
  struct Case {
    int expireAfter, expireWarn, remindAfter, remindFreq;
    const char* block;  // between "</EmailBlurb>\n" and "</Envelope>"
  };
  const Case cases[] = {
      {0, 5, 0, 3, ""},
      {30, 5, 0, 3,
       "<Notification><Expirations>\n<ExpireEnabled>true</ExpireEnabled>\n<ExpireAfter>30</ExpireAfter>\n"
       "<ExpireWarn>5</ExpireWarn>\n</Expirations>\n</Notification>\n"},
      {0, 5, 2, 3,
       "<Notification><Reminders>\n<ReminderEnabled>true</ReminderEnabled>\n<ReminderDelay>2</ReminderDelay>\n"
       "<ReminderFrequency>3</ReminderFrequency>\n</Reminders>\n</Notification>\n"},
      {30, 5, 2, 3,
       "<Notification><Expirations>\n<ExpireEnabled>true</ExpireEnabled>\n<ExpireAfter>30</ExpireAfter>\n"
       "<ExpireWarn>5</ExpireWarn>\n</Expirations>\n<Reminders>\n<ReminderEnabled>true</ReminderEnabled>\n"
       "<ReminderDelay>2</ReminderDelay>\n<ReminderFrequency>3</ReminderFrequency>\n</Reminders>\n"
       "</Notification>\n"},
  };
  for (const Case& c : cases) {
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
    op.Options.ExpireAfter = c.expireAfter;
    op.Options.ExpireWarn = c.expireWarn;
    op.Options.RemindAfter = c.remindAfter;
    op.Options.RemindFreq = c.remindFreq;
    ASSERT_TRUE(op.PrepareData());
    const std::string request = Request(op);
    EXPECT_EQ(Between(request, "</EmailBlurb>\n", "</Envelope>"), c.block)
        << c.expireAfter << "/" << c.remindAfter;
    if (c.expireAfter && c.remindAfter) {
      EXPECT_TRUE(MatchesExpected(request, "opsenddoc_notification.xml"));
    }
  }
}

// The blurb is escaped piece by piece: accented letters of two, three and four bytes, shifted
// by every offset, so that every piece boundary falls inside one of them somewhere.
TEST_F(OpSendDocTest, BlurbKeepsEveryCharacterAcrossPieceBoundaries) {
  const std::string letters[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E", "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"};
  for (const std::string& letter : letters) {
    for (int shift = 0; shift < 4; ++shift) {
      std::string text(shift, 'a');
      while (text.size() < 700) text += letter;
      text += "<end & done>";
      OpSendDoc op(kUrl, Ann());
      AddFile(op, "a.pdf", "%PDF-1.4\n");
      AddMessage(op, text);
      op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
      ASSERT_TRUE(op.PrepareData());
      const std::string blurb = Between(Request(op), "<EmailBlurb>", "</EmailBlurb>");
      const std::string expected = XmlEscape(text);
      const auto differs = std::mismatch(blurb.begin(), blurb.end(), expected.begin(), expected.end());
      EXPECT_TRUE(blurb == expected) << "letter of " << letter.size() << " bytes, shift " << shift
                                     << ": first difference at " << (differs.first - blurb.begin()) << " of "
                                     << expected.size();
    }
  }
}

TEST_F(OpSendDocTest, BlurbEdgeCases) {
  struct Case {
    const char* name;
    bool withBody;
    const char* body;
    bool bodyAsDocument;
    const char* blurb;
  };
  const Case cases[] = {
      {"plain text", true, "Hello", false, "Hello"},
      {"empty body", true, "", false, "message unspecified"},
      {"body sent as a document", true, "Hello", true, ""},
      {"no body part", false, "", false, ""},
  };
  for (const Case& c : cases) {
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    if (c.withBody) AddMessage(op, c.body);
    op.Options.BodyAsDocument = c.bodyAsDocument;
    op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
    ASSERT_TRUE(op.PrepareData()) << c.name;
    EXPECT_NE(Request(op).find(std::string("<EmailBlurb>") + c.blurb + "</EmailBlurb>\n"), std::string::npos)
        << c.name;
  }
}

// The documents go into the request as the file coder encodes them, whatever their size, and
// the user's files stay as they were; no temporary file is left but the request and the answer.
TEST_F(OpSendDocTest, DocumentBytesAreTheFileCodersText) {
  const std::size_t sizes[] = {0, 1, 2, 3, 47, 48, 49, 48 * 4096 - 1, 48 * 4096, 48 * 4096 + 1, 1000003};
  for (std::size_t size : sizes) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131 + size) & 0xFF);
    const std::string path = Doc("doc.bin", content);
    const std::string expectedText = docs_ + "/expected.b64";
    ASSERT_TRUE(File64Coder().EncodeFile(path, expectedText));
    const std::set<std::string> before = FilesIn(home_.Tmp());
    {
      OpSendDoc op(kUrl, Ann());
      op.AddBodyPart(MakeFileAttachment(path), "doc.bin", "doc.bin");
      op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
      ASSERT_TRUE(op.PrepareData()) << size;
      const std::string request = Request(op);
      EXPECT_EQ(Between(request, "<PDFBytes>\n", "</PDFBytes>"), vlrtest::ReadFile(expectedText)) << size;
      std::set<std::string> now = FilesIn(home_.Tmp());
      for (const std::string& name : before) now.erase(name);
      std::set<std::string> expectedNew;
      for (const std::string& p : {op.RequestFile(), op.ResponseFilePath()})
        expectedNew.insert(p.substr(p.rfind('/') + 1));
      EXPECT_EQ(now, expectedNew) << size;
    }
    EXPECT_EQ(vlrtest::ReadFile(path), content);
  }
}

TEST_F(OpSendDocTest, MissingPartsOrRecipientsWriteNothing) {
  const std::set<std::string> before = FilesIn(home_.Tmp());
  {
    OpSendDoc op(kUrl, Ann());
    op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
    EXPECT_FALSE(op.PrepareData());
    EXPECT_EQ(op.ResultCode(), E_INVALIDARG);
  }
  {
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    EXPECT_FALSE(op.Run(nullptr, 0, 0));
    EXPECT_EQ(op.ResultCode(), E_INVALIDARG);
  }
  EXPECT_EQ(FilesIn(home_.Tmp()), before);
}

TEST_F(OpSendDocTest, AFailedWriteLeavesNoFileBehind) {
  const std::set<std::string> before = FilesIn(home_.Tmp());
  {
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    op.AddBodyPart(MakeFileAttachment(docs_ + "/gone.pdf"), "gone.pdf", "gone.pdf");
    op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
    EXPECT_FALSE(op.PrepareData());
    EXPECT_TRUE(FAILED(op.ResultCode()));
    EXPECT_TRUE(op.RequestFile().empty());
  }
  {
    // A broadcast whose template document has no text: every piece goes again.
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
    CTemplate t("tpl");
    auto d = std::make_unique<CeDoc>();
    d->Name = "lost.pdf";
    d->FilePath = docs_ + "/lost.b64";
    t.Documents.Append(std::move(d));
    ASSERT_EQ(op.Options.SetTransaction(t), S_OK);
    op.Options.Mode = CSendOptions::kModeGoverned;
    op.Options.Broadcast = 1;
    op.Composite = 1;
    EXPECT_FALSE(op.PrepareData());
    EXPECT_TRUE(op.Pieces().empty());
  }
  EXPECT_EQ(FilesIn(home_.Tmp()), before);
}

// An operation that never posted its request (or whose transfer failed) takes the request
// file with it; broadcast pieces are the agent's and stay.
TEST_F(OpSendDocTest, TheRequestFileGoesWithTheOperation) {
  std::string request;
  std::vector<std::string> pieces;
  {
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
    ASSERT_TRUE(op.PrepareData());
    request = op.RequestFile();
    EXPECT_FALSE(vlrtest::ReadFile(request).empty());
  }
  struct stat st {};
  EXPECT_NE(::stat(request.c_str(), &st), 0) << request;
  {
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
    op.Options.Broadcast = 1;
    ASSERT_TRUE(op.PrepareData());
    for (const auto& piece : op.Pieces()) pieces.push_back(piece->Path());
  }
  ASSERT_EQ(pieces.size(), 4u);
  for (const std::string& path : pieces) EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
}

TEST_F(OpSendDocTest, CreateOnlyKeepsItsAction) {
  OpSendDoc op(kUrl, Ann());
  op.PresetAction(sendaction::kCreate);
  AddFile(op, "a.pdf", "%PDF-1.4\n");
  op.Recipients.Append(Recipient("Ann", "ann@example.com", "Signer", 1));
  ASSERT_TRUE(op.PrepareData());
  EXPECT_EQ(op.Action(), "CreateEnvelope");
  const std::string request = Request(op);
  EXPECT_NE(request.find("<wsa:Action>http://api.attestra.net/api/3.0/CreateEnvelope</wsa:Action>"),
            std::string::npos);
  EXPECT_NE(request.find("<CreateEnvelope xmlns=\"http://api.attestra.net/API/3.0\">\n<Envelope>\n"),
            std::string::npos);
  EXPECT_NE(request.find("</Envelope>\n</CreateEnvelope>\n</SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n"),
            std::string::npos);
}

TEST_F(OpSendDocTest, IsBodyEmptyCountsCharacters) {
  const std::pair<const char*, bool> cases[] = {{"", true}, {" ", true}, {"\xC3\xA9", true}, {"ab", false}};
  for (const auto& [body, empty] : cases) {
    OpSendDoc op(kUrl, Ann());
    AddFile(op, "a.pdf", "%PDF-1.4\n");
    EXPECT_FALSE(op.IsBodyEmpty());  // no message body part yet
    AddMessage(op, body);
    EXPECT_EQ(op.IsBodyEmpty(), empty) << body;
    EXPECT_TRUE(op.BodyParts.Last()->LocalPath.empty());
  }
}

// Reads an answer as the engine's last stage does.
class AnswerReader : public OpSendDoc {
 public:
  AnswerReader() : OpSendDoc(kUrl, Ann()) {}
  bool Read(const std::string& action, const std::string& answer) {
    PresetAction(action);
    responseText_ = answer;
    if (CheckFault()) return false;
    return ParseResponse();
  }
};

std::string Answer(const std::string& action, const std::string& result) {
  return "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><" + action +
         "Response xmlns=\"http://api.attestra.net/API/3.0\"><" + action + "Result>" + result + "</" + action +
         "Result></" + action + "Response></soap:Body></soap:Envelope>";
}

TEST(OpSendDocAnswer, ReadsTheEnvelopeIdOfItsAction) {
  vlrtest::TestHome home;
  struct Case {
    const char* action;
    std::string answer;
    bool ok;
    const char* id;
  };
  const Case cases[] = {
      {"CreateAndSendEnvelope", Answer("CreateAndSendEnvelope", "<EnvelopeID>env-1</EnvelopeID><Status>Sent</Status>"),
       true, "env-1"},
      {"CreateEnvelope", Answer("CreateEnvelope", "<EnvelopeID>env-2</EnvelopeID>"), true, "env-2"},
      {"CreateEnvelopeFromTemplatesAndForms",
       Answer("CreateEnvelopeFromTemplatesAndForms", "<EnvelopeID>env-3</EnvelopeID>"), true, "env-3"},
      {"CreateEnvelope", Answer("CreateAndSendEnvelope", "<EnvelopeID>env-4</EnvelopeID>"), false, ""},
      {"CreateAndSendEnvelope", Answer("CreateAndSendEnvelope", "<Status>Sent</Status>"), false, ""},
  };
  for (const Case& c : cases) {
    AnswerReader op;
    EXPECT_EQ(op.Read(c.action, c.answer), c.ok) << c.action << " " << c.answer;
    EXPECT_EQ(op.EnvelopeID, c.id);
    if (!c.ok) {
      EXPECT_NE(op.ResultCode(), S_OK);
    }
  }
}

TEST(OpSendDocAnswer, AFaultIsNotParsed) {
  vlrtest::TestHome home;
  AnswerReader op;
  EXPECT_FALSE(op.Read("CreateAndSendEnvelope",
                       "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
                       "<soap:Fault><faultcode>soap:Client</faultcode><faultstring>No documents</faultstring>"
                       "</soap:Fault></soap:Body></soap:Envelope>"));
  EXPECT_EQ(op.FaultString(), "No documents");
  EXPECT_EQ(op.ResultCode(), E_FAIL);
  EXPECT_TRUE(op.EnvelopeID.empty());
}

}  // namespace
