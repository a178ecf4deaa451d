// Blueprint files: reading, writing and reading back, embedded documents, broken files, the
// role choices of form fields, applying a blueprint to a transaction, the wizard's summary
// rows and the sending user's identity.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "model/anchor.h"
#include "model/blueprint.h"
#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

const std::string kData = VLR_TEST_DATA_DIR;

class BlueprintTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    folder_ = home_.Root() + "/blueprints";
    fs::create_directories(folder_);
    CConfig().SetBlueprintFolder(folder_);
    ForgetIdentity();
    SetCurrentUserLookup(nullptr);
  }
  void TearDown() override {
    ForgetIdentity();
    SetCurrentUserLookup(nullptr);
  }

  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = home_.Root() + "/" + name;
    vlrtest::WriteFile(path, content);
    return path;
  }
  // The temporary files the system made ("ATgn..."), which must not outlive their owners.
  std::vector<std::string> TempFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(home_.Tmp()))
      if (entry.path().filename().string().rfind("ATg", 0) == 0)
        names.push_back(entry.path().filename().string());
    return names;
  }

  std::string folder_;
};

V Names(const CDocList& documents) {
  V names;
  for (const CeDoc& doc : documents) names.push_back(doc.Name);
  return names;
}

V Names(const CRecipList& recipients) {
  V names;
  for (const CRecip& recip : recipients) names.push_back(recip.Name);
  return names;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
  return bytes;
}

CRecip& AddSigner(CBlueprint& blueprint, const std::string& name, const std::string& email,
                  const std::string& role) {
  CRecip& signer = blueprint.Recipients.Emplace("Signer");
  signer.Name = name;
  signer.Email = email;
  signer.RoleName = role;
  return signer;
}

CeDoc& AddDocument(CBlueprint& blueprint, const std::string& name) {
  CeDoc& doc = blueprint.Documents.Emplace();
  doc.Name = name;
  doc.Key = name;
  doc.Source = CeDoc::kSourceNamed;
  return doc;
}

// Reading

TEST_F(BlueprintTest, AFileReadsInItsOwnOrder) {
  CBlueprint bp;
  ASSERT_EQ(bp.Load(kData + "/blueprint-sale.xml"), S_OK);
  EXPECT_EQ(bp.Path, kData + "/blueprint-sale.xml");
  EXPECT_EQ(bp.Name, "Sale");
  EXPECT_EQ(bp.Description, "House sale");
  EXPECT_EQ(Names(bp.Documents), (V{"A.pdf", "B.pdf", "C.doc"}));
  EXPECT_EQ(Names(bp.Recipients), (V{"Jos\xC3\xA9 Buyer", "Sam Seller", ""}));

  const CeDoc& a = *bp.Documents.At(0);
  EXPECT_EQ(a.Source, CeDoc::kSourceNamed);  // the key is the name
  EXPECT_EQ(bp.Documents.At(1)->Source, CeDoc::kSourceNone);
  EXPECT_EQ(bp.Documents.At(1)->Key, "/home/x/B.pdf");
  ASSERT_EQ(a.Fields.size(), 2u);
  EXPECT_EQ(a.Fields.At(0)->Keyword, "price");
  EXPECT_EQ(a.Fields.At(0)->Value, "Buyer");
  EXPECT_EQ(a.Fields.At(0)->Kind, "List");
  EXPECT_EQ(a.Fields.At(1)->Keyword, "date");
  // Role choices: the signers' roles in order, and "Sender" as no signer stands for the sender.
  EXPECT_EQ(a.Fields.At(1)->Choices, (V{"Buyer", "Seller", "Agent", "Sender"}));

  EXPECT_EQ(bp.SendMode, 0);
  EXPECT_EQ(bp.Order, 3);
  EXPECT_EQ(bp.Positioning, CBlueprint::kPositionByAnchors);
  EXPECT_EQ(bp.ExpiresIn, 30);
  EXPECT_EQ(bp.WarnIn, 5);
  EXPECT_EQ(bp.RemindIn, 2);
  EXPECT_EQ(bp.RemindFreq, 4);
  EXPECT_EQ(bp.Syntax, "Custom");
  EXPECT_EQ(bp.SequenceSignatures, 1);
  EXPECT_EQ(bp.Subject, "Sale of the house for Jos\xC3\xA9");  // Latin-1 in the file
  EXPECT_EQ(bp.Message, "Please sign.");

  const CRecip& buyer = *bp.Recipients.At(0);
  EXPECT_EQ(buyer.TagName(), "Signer");
  EXPECT_EQ(buyer.Email, "jose@example.com");
  EXPECT_EQ(buyer.ID, 1);
  EXPECT_EQ(buyer.RoleName, "Buyer");
  EXPECT_EQ(buyer.Sequence, 1);
  EXPECT_EQ(buyer.RoutingOrder, "1");
  EXPECT_EQ(buyer.Type, "Signer");
  ASSERT_NE(buyer.Role, nullptr);
  EXPECT_EQ(buyer.Role->RoleName, "Buyer");
  EXPECT_EQ(buyer.Role->AnchorLabel, "Buyer");
  EXPECT_EQ(buyer.Role->UseAnchors, 1);
  // Only the slot and the text come from the file: Index 2 with Type "Company" is a
  // DateSigned slot, and offsets and units are those of a fresh slot. Index 9 is no slot.
  const CAnchor& sign = buyer.Role->Anchors[0];
  EXPECT_EQ(sign.Present, 1);
  EXPECT_EQ(sign.Text, "[BuyerSignHere]");
  EXPECT_EQ(sign.XOffset, "0");
  EXPECT_EQ(sign.YOffset, "0");
  EXPECT_EQ(sign.Units, "Cms");
  const CAnchor& date = buyer.Role->Anchors[2];
  EXPECT_EQ(date.Present, 1);
  EXPECT_EQ(date.Type, "DateSigned");
  EXPECT_EQ(date.Text, "[BuyerDateSigned]");
  EXPECT_EQ(date.XOffset, "0");
  EXPECT_EQ(date.Units, "Cms");
  for (int i : {1, 3, 4, 5}) EXPECT_EQ(buyer.Role->Anchors[i].Present, 0) << i;

  // An anchor label without anchors leaves no role and so no label.
  const CRecip& seller = *bp.Recipients.At(1);
  EXPECT_EQ(seller.Role, nullptr);
  EXPECT_EQ(seller.Type, "Carbon Copy");
  const CRecip& agent = *bp.Recipients.At(2);
  EXPECT_EQ(agent.HardCoded, 1);
  EXPECT_EQ(agent.Type, "Certified Delivery");
  EXPECT_EQ(agent.RoleName, "Agent");
}

// Writing

CBlueprint& FillForRoundTrip(CBlueprint& bp, const std::string& embeddedSource) {
  bp.Name = "Contract Q&A";
  bp.Description = "Terms <draft> & \"notes\" for Jos\xC3\xA9";
  bp.Subject = "Q&A for Jos\xC3\xA9 \xE2\x80\x93 \xE2\x82\xAC" "100";
  bp.Message = "Line one\r\nLine two\n\ttabbed & <b>bold</b> \xE2\x82\xAC 'quoted'";
  bp.SendMode = 0;
  bp.Order = 2;
  bp.Positioning = CBlueprint::kPositionByAnchors;
  bp.ExpiresIn = 14;
  bp.WarnIn = 3;
  bp.RemindIn = 1;
  bp.RemindFreq = 2;
  bp.Syntax = "EchoSign";
  bp.SequenceSignatures = 1;

  CeDoc& terms = AddDocument(bp, "Terms & Conditions.pdf");
  auto field = std::make_unique<CKeywordValue>("Field");
  field->Keyword = "price <EUR>";
  field->Value = "Buyer";
  terms.Fields.Append(std::move(field));
  CeDoc& embedded = AddDocument(bp, "Plan.pdf");
  embedded.Key = embeddedSource;
  embedded.Source = CeDoc::kSourceEmbedded;

  CRecip& jose = AddSigner(bp, "Jos\xC3\xA9 N\xC3\xBA\xC3\xB1" "ez", "jose@example.com", "Buyer");
  jose.Sequence = 1;
  jose.ID = 17;  // files number signers themselves
  jose.Role = std::make_unique<CRole>();
  jose.Role->RoleName = "Buyer";
  SetAnchorDesignation(*jose.Role, bp.Syntax, "signer1");
  SwitchSlot(*jose.Role, bp.Syntax, 0, true);
  SwitchSlot(*jose.Role, bp.Syntax, 5, true);
  CRecip& gone = AddSigner(bp, "Left Out", "out@example.com", "Witness");
  gone.Excluded = 1;
  CRecip& zoe = AddSigner(bp, "Zo\xC3\xAB \xE2\x82\xACuro", "zoe@example.com", "Agent");
  zoe.HardCoded = 1;
  zoe.Type = "Carbon Copy";
  CRecip& me = AddSigner(bp, "", "", "Sender");
  me.Sender = 1;
  return bp;
}

TEST_F(BlueprintTest, WriteReadWriteGivesTheSameFileAndTheSameTexts) {
  const std::string source = Write("plan.pdf", RandomBytes(5000, 1));
  CBlueprint original;
  FillForRoundTrip(original, source);
  ASSERT_EQ(original.Save(), S_OK);
  const std::string path = folder_ + "/Contract Q&A.xml";
  const std::string first = vlrtest::ReadFile(path);
  ASSERT_FALSE(first.empty());
  // Pure 7-bit, so the declared ISO-8859-1 is true whatever the texts hold.
  for (unsigned char c : first) ASSERT_LT(c, 128u);
  EXPECT_EQ(first.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><vlrBlueprint><Name>", 0),
            0u);
  EXPECT_EQ(first.find("Left Out"), std::string::npos);  // excluded signers stay out

  CBlueprint again;
  ASSERT_EQ(again.Load(path), S_OK);
  EXPECT_EQ(again.Name, original.Name);
  EXPECT_EQ(again.Description, original.Description);
  EXPECT_EQ(again.Subject, original.Subject);
  EXPECT_EQ(again.Message, original.Message);  // the carriage return too
  EXPECT_EQ(again.Syntax, "EchoSign");
  EXPECT_EQ(again.Order, 2);
  EXPECT_EQ(again.ExpiresIn, 14);
  EXPECT_EQ(Names(again.Documents), (V{"Terms & Conditions.pdf", "Plan.pdf"}));
  EXPECT_EQ(again.Documents.First()->Fields.First()->Keyword, "price <EUR>");
  EXPECT_EQ(Names(again.Recipients), (V{"Jos\xC3\xA9 N\xC3\xBA\xC3\xB1" "ez",
                                        "Zo\xC3\xAB \xE2\x82\xACuro", ""}));
  const CRecip& jose = *again.Recipients.First();
  EXPECT_EQ(jose.ID, 1);
  EXPECT_EQ(jose.Email, "jose@example.com");
  ASSERT_NE(jose.Role, nullptr);
  EXPECT_EQ(jose.Role->AnchorLabel, "signer1");
  EXPECT_EQ(jose.Role->Anchors[0].Text, "{{_es_signer1_signature");
  EXPECT_EQ(jose.Role->Anchors[5].Text, "{{_es_signer1_title");
  const CRecip& zoe = *again.Recipients.At(1);
  EXPECT_EQ(zoe.ID, 2);
  EXPECT_EQ(zoe.Sequence, -1);
  EXPECT_EQ(zoe.HardCoded, 1);
  EXPECT_EQ(zoe.Type, "Carbon Copy");
  EXPECT_EQ(again.Recipients.At(2)->Sender, 1);

  ASSERT_EQ(again.Save(), S_OK);
  const std::string second = vlrtest::ReadFile(path);
  EXPECT_EQ(second, first);
  // Nothing but the blueprint is left in the folder.
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder_))
    files.push_back(entry.path().filename().string());
  EXPECT_EQ(files, (V{"Contract Q&A.xml"}));
}

TEST_F(BlueprintTest, OldFilesWithRawTextsReadBackTheSameAfterSaving) {
  CBlueprint bp;
  ASSERT_EQ(bp.Load(kData + "/blueprint-sale.xml"), S_OK);
  const std::string path = home_.Root() + "/sale.xml";
  ASSERT_EQ(bp.WriteTo(path), S_OK);
  CBlueprint again;
  ASSERT_EQ(again.Load(path), S_OK);
  EXPECT_EQ(again.Subject, bp.Subject);
  EXPECT_EQ(Names(again.Documents), Names(bp.Documents));
  EXPECT_EQ(Names(again.Recipients), Names(bp.Recipients));
  const std::string rewritten = home_.Root() + "/sale2.xml";
  ASSERT_EQ(again.WriteTo(rewritten), S_OK);
  EXPECT_EQ(vlrtest::ReadFile(rewritten), vlrtest::ReadFile(path));
}

TEST_F(BlueprintTest, EmbeddedBytesStayEncodedUntilDecoded) {
  const std::string bytes = RandomBytes(70000, 2);
  const std::string source = Write("plan.pdf", bytes);
  CBlueprint original;
  FillForRoundTrip(original, source);
  const std::string path = home_.Root() + "/embedded.xml";
  ASSERT_EQ(original.WriteTo(path), S_OK);
  EXPECT_TRUE(TempFiles().empty()) << "the encoded copy is gone after writing";

  std::string heldPath;
  {
    auto bp = std::make_unique<CBlueprint>();
    ASSERT_EQ(bp->Load(path), S_OK);
    const CeDoc& plan = *bp->Documents.At(1);
    EXPECT_EQ(plan.Source, CeDoc::kSourceEmbedded);
    EXPECT_EQ(plan.Key, source);
    heldPath = plan.FilePath;
    ASSERT_TRUE(fs::exists(heldPath));
    const std::string text = vlrtest::ReadFile(heldPath);
    EXPECT_EQ(text.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\n"),
              std::string::npos);

    TempFile decoded;
    ASSERT_EQ(DecodeDocumentFile(plan, ".pdf", decoded), S_OK);
    EXPECT_EQ(fs::path(decoded.Path()).extension(), ".pdf");
    EXPECT_EQ(vlrtest::ReadFile(decoded.Path()), bytes);

    // A copy shares the file: it lives as long as some holder of the document does.
    auto copy = bp->Clone();
    bp.reset();
    EXPECT_TRUE(fs::exists(heldPath));
    EXPECT_EQ(copy->Documents.At(1)->FilePath, heldPath);
  }
  EXPECT_FALSE(fs::exists(heldPath));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(BlueprintTest, AReceivedBlueprintKeepsItsEmbeddedBytesWhenSavedAgain) {
  const std::string source = Write("plan.pdf", RandomBytes(3000, 3));
  CBlueprint original;
  FillForRoundTrip(original, source);
  ASSERT_EQ(original.Save(), S_OK);
  const std::string path = folder_ + "/Contract Q&A.xml";
  const std::string first = vlrtest::ReadFile(path);
  // On the receiving side the key names a file that is not there.
  fs::remove(source);
  CBlueprint received;
  ASSERT_EQ(received.Load(path), S_OK);
  ASSERT_EQ(received.Save(), S_OK);
  EXPECT_EQ(vlrtest::ReadFile(path), first);
}

TEST_F(BlueprintTest, AnEmbeddedDocumentWithoutBytesFailsTheSaveAndKeepsTheOldFile) {
  CBlueprint bp;
  bp.Name = "Lost";
  CeDoc& doc = AddDocument(bp, "gone.pdf");
  doc.Key = home_.Root() + "/nowhere/gone.pdf";
  doc.Source = CeDoc::kSourceEmbedded;
  const std::string path = folder_ + "/Lost.xml";
  vlrtest::WriteFile(path, "old content");
  EXPECT_TRUE(FAILED(bp.Save()));
  EXPECT_EQ(vlrtest::ReadFile(path), "old content");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(BlueprintTest, SaveRefusesNamesThatAreNoPlainFileName) {
  for (const char* name : {"", ".", "..", "../escape", "sub/name", "back\\slash"}) {
    CBlueprint bp;
    bp.Name = name;
    AddDocument(bp, "a.pdf");
    EXPECT_EQ(bp.Save(), E_INVALIDARG) << name;
  }
  EXPECT_TRUE(fs::is_empty(folder_));
  EXPECT_FALSE(fs::exists(home_.Root() + "/escape.xml"));

  CBlueprint bp;
  bp.Name = "x";
  EXPECT_EQ(bp.WriteTo(home_.Root() + "/no/such/folder/x.xml"), E_ACCESSDENIED);
}

TEST_F(BlueprintTest, SaveReplacesTheFileOfTheSameName) {
  CBlueprint bp;
  bp.Name = "Same";
  bp.Subject = "first";
  ASSERT_EQ(bp.Save(), S_OK);
  bp.Subject = "second";
  ASSERT_EQ(bp.Save(), S_OK);
  CBlueprint read;
  ASSERT_EQ(read.Load(folder_ + "/Same.xml"), S_OK);
  EXPECT_EQ(read.Subject, "second");
  // An empty message and description are left out; an empty subject and syntax are written.
  bp.Subject.clear();
  bp.Syntax.clear();
  ASSERT_EQ(bp.Save(), S_OK);
  const std::string text = vlrtest::ReadFile(folder_ + "/Same.xml");
  EXPECT_EQ(text.find("<Message>"), std::string::npos);
  EXPECT_EQ(text.find("<Description>"), std::string::npos);
  EXPECT_NE(text.find("<Email><Subject></Subject>\n</Email>"), std::string::npos) << text;
  EXPECT_NE(text.find("<Syntax></Syntax>\n"), std::string::npos);
  CBlueprint fresh;
  ASSERT_EQ(fresh.Load(folder_ + "/Same.xml"), S_OK);
  EXPECT_EQ(fresh.Subject, "");
  EXPECT_EQ(fresh.Syntax, "");
}

// Broken input

TEST_F(BlueprintTest, BrokenFilesFailWithAnErrorAndKeepWhatWasRead) {
  const std::string good = vlrtest::ReadFile(kData + "/blueprint-sale.xml");
  const std::string firstDocEnd = "</Document>";
  const std::size_t afterFirstDoc = good.find(firstDocEnd) + firstDocEnd.size();
  const struct {
    const char* what;
    std::string text;
    std::size_t documents;  // kept from before the failure
  } cases[] = {
      {"empty file", "", 0},
      {"not XML", "just some words", 0},
      {"binary", std::string("\x00\x01\xff\xfe<\x80", 6), 0},
      {"cut after the first document", good.substr(0, afterFirstDoc), 1},
      {"cut inside a tag", good.substr(0, afterFirstDoc + 7), 1},
      {"cut in the middle", good.substr(0, good.size() / 2), 3},
      {"mismatched tags", "<vlrBlueprint><Name>x</Nome></vlrBlueprint>", 0},
      {"two roots", "<vlrBlueprint></vlrBlueprint><vlrBlueprint></vlrBlueprint>", 0},
      {"undefined entity", "<vlrBlueprint><Name>&bogus;</Name></vlrBlueprint>", 0},
      {"entity declarations",
       "<?xml version=\"1.0\"?><!DOCTYPE vlrBlueprint [<!ENTITY x SYSTEM \"/etc/passwd\">]>"
       "<vlrBlueprint><Name>&x;</Name></vlrBlueprint>",
       0},
      {"another document", "<?xml version=\"1.0\"?><Receipt><Name>x</Name></Receipt>", 0},
      {"cut inside FileBytes",
       "<vlrBlueprint><Name>x</Name><Documents><Document><Key>k</Key><Name>n</Name>"
       "<FileBytes>QUJDREVG",
       0},
  };
  for (const auto& c : cases) {
    const std::string path = Write("broken.xml", c.text);
    {
      CBlueprint bp;
      const HRESULT hr = bp.Load(path);
      EXPECT_TRUE(FAILED(hr)) << c.what;
      EXPECT_NE(bp.LoadError().code, 0) << c.what;
      EXPECT_FALSE(bp.LoadError().message.empty()) << c.what;
      EXPECT_EQ(bp.Documents.size(), c.documents) << c.what;
      EXPECT_EQ(bp.Path, path);
    }
    EXPECT_TRUE(TempFiles().empty()) << c.what << ": no temporary file is left behind";
  }
  CBlueprint missing;
  EXPECT_EQ(missing.Load(home_.Root() + "/missing.xml"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

// Role choices

TEST_F(BlueprintTest, FormFieldsOfferTheSignersRolesAndTheSender) {
  CBlueprint bp;
  CeDoc& a = AddDocument(bp, "a.pdf");
  a.Fields.Emplace("Field").Keyword = "one";
  CeDoc& b = AddDocument(bp, "b.pdf");
  b.Fields.Emplace("Field").Keyword = "two";
  b.Fields.Emplace("Field").Keyword = "three";
  AddDocument(bp, "c.pdf");
  AddSigner(bp, "B", "b@x.com", "Buyer");
  AddSigner(bp, "S", "s@x.com", "Seller");
  bp.FillRoleChoices();
  for (const CeDoc& doc : bp.Documents)
    for (const CKeywordValue& field : doc.Fields)
      EXPECT_EQ(field.Choices, (V{"Buyer", "Seller", "Sender"})) << field.Keyword;

  // With a signer for the sender, and one without a role name, nothing is added.
  AddSigner(bp, "", "", "Owner").Sender = 1;
  AddSigner(bp, "N", "n@x.com", "");
  bp.FillRoleChoices();
  EXPECT_EQ(a.Fields.First()->Choices, (V{"Buyer", "Seller", "Owner"}));

  CBlueprint alone;
  AddDocument(alone, "a.pdf").Fields.Emplace("Field");
  alone.FillRoleChoices();
  EXPECT_EQ(alone.Documents.First()->Fields.First()->Choices, (V{"Sender"}));
}

// Applying a blueprint

class ApplyTest : public BlueprintTest {
 protected:
  // A blueprint with one document and free signers of the given roles.
  void Signers(std::initializer_list<const char*> roles) {
    if (bp_.Documents.empty()) AddDocument(bp_, "contract.pdf");
    int n = 0;
    for (const char* role : roles) {
      CRecip& signer = AddSigner(bp_, std::string("Signer ") + role,
                                 std::string(role) + "@blueprint.example", role);
      signer.ID = ++n;
      signer.Role = std::make_unique<CRole>();
      signer.Role->RoleName = role;
      SwitchSlot(*signer.Role, "Custom", 0, true);
    }
  }
  CRecip& Mail(const std::string& name, const std::string& email) {
    CRecip& recip = mail_.Recipients.Emplace();
    recip.Name = name;
    recip.Email = email;
    recip.FromMail = 1;
    return recip;
  }

  CBlueprint bp_;
  CBlueprint mail_;  // the outgoing transaction with the mail item's recipients
};

TEST_F(ApplyTest, ABlueprintWithoutDocumentsCannotBeApplied) {
  AddSigner(bp_, "A", "a@x.com", "Buyer");
  Mail("Ann", "ann@x.com");
  EXPECT_EQ(bp_.ApplyTo(mail_), E_INVALIDARG);
  EXPECT_EQ(bp_.ApplyTo(bp_), E_INVALIDARG);
}

TEST_F(ApplyTest, OneRecipientTakesTheOneFreeSigner) {
  Signers({"Buyer"});
  bp_.Subject = "Blueprint subject";
  bp_.SendMode = 0;
  bp_.Syntax = "Sertifi";
  bp_.Tabs.Emplace().Type = "SignHere";
  bp_.Roles.Emplace().RoleName = "Buyer";
  mail_.Keywords.Emplace().Keyword = "kept";
  mail_.Documents.Emplace().Name = "old.pdf";
  CRecip& ann = Mail("Ann", "ann@mail.example");
  ann.RoleChoices = {"stale"};

  ASSERT_EQ(bp_.ApplyTo(mail_), S_OK);
  EXPECT_EQ(mail_.Subject, "Blueprint subject");
  EXPECT_EQ(mail_.Syntax, "Sertifi");
  EXPECT_EQ(Names(mail_.Documents), (V{"contract.pdf"}));
  EXPECT_EQ(mail_.Tabs.size(), 1u);
  EXPECT_EQ(mail_.Roles.size(), 1u);
  EXPECT_EQ(mail_.Keywords.size(), 1u);

  CRecip& signer = *bp_.Recipients.First();
  EXPECT_EQ(ann.Link(), &signer);
  EXPECT_EQ(signer.Link(), &ann);
  EXPECT_EQ(signer.FromMail, 1);
  // The recipient plays the signer's part under its own name and address.
  EXPECT_EQ(ann.Name, "Ann");
  EXPECT_EQ(ann.Email, "ann@mail.example");
  EXPECT_EQ(ann.RoleName, "Buyer");
  EXPECT_EQ(ann.ID, 1);
  ASSERT_NE(ann.Role, nullptr);
  EXPECT_EQ(ann.Role->Anchors[0].Text, "[BuyerSignHere]");
  EXPECT_TRUE(ann.RoleChoices.empty());
  EXPECT_EQ(ann.FromMail, 1);
}

TEST_F(ApplyTest, FreeSignersAndRecipientsMustMatchInNumber) {
  Signers({"Buyer", "Seller"});
  Mail("Ann", "ann@x.com");
  Mail("Bob", "bob@x.com");
  Mail("Cid", "cid@x.com");
  EXPECT_EQ(bp_.ApplyTo(mail_), E_INVALIDARG);

  mail_.Recipients.Remove(mail_.Recipients.Last());
  ASSERT_EQ(bp_.ApplyTo(mail_), S_OK);
  for (const CRecip& recip : mail_.Recipients) {
    EXPECT_FALSE(recip.IsPaired());
    EXPECT_EQ(recip.RoleChoices, (V{"Buyer", "Seller"})) << recip.Name;
    EXPECT_EQ(recip.RoleName, "");
  }
}

TEST_F(ApplyTest, RecipientsWithASignersAddressArePairedWithIt) {
  Signers({"Buyer", "Seller"});
  CRecip& bob = Mail("Bob", "Seller@blueprint.example");
  CRecip& ann = Mail("Ann", "ann@x.com");
  ASSERT_EQ(bp_.ApplyTo(mail_), S_OK);
  EXPECT_EQ(bob.Link(), bp_.Recipients.At(1));
  EXPECT_EQ(bob.RoleName, "Seller");
  EXPECT_EQ(bob.Name, "Bob");
  EXPECT_EQ(ann.Link(), bp_.Recipients.At(0));  // the last free pair
  EXPECT_EQ(ann.RoleName, "Buyer");
}

TEST_F(ApplyTest, FixedSignersJoinTheTransactionAndEarlierOnesLeave) {
  CConfig().SetIdentity("Me Myself <Me@Sender.Example>");
  Signers({"Buyer"});
  CRecip& agent = AddSigner(bp_, "Agent Smith", "agent@fixed.example", "Agent");
  agent.HardCoded = 1;
  CRecip& me = AddSigner(bp_, "", "", "Sender");
  me.Sender = 1;
  Mail("Ann", "ann@x.com");
  CRecip& stale = Mail("Stale", "stale@x.com");
  stale.HardCoded = 1;  // added by a blueprint applied before

  ASSERT_EQ(bp_.ApplyTo(mail_), S_OK);
  EXPECT_EQ(Names(mail_.Recipients), (V{"Ann", "Agent Smith", ""}));
  const CRecip& agentCopy = *mail_.Recipients.At(1);
  EXPECT_EQ(agentCopy.HardCoded, 1);
  EXPECT_EQ(agentCopy.Email, "agent@fixed.example");
  EXPECT_EQ(agentCopy.RoleName, "Agent");
  EXPECT_EQ(agentCopy.Link(), &agent);
  EXPECT_EQ(agent.Link(), &agentCopy);
  const CRecip& meCopy = *mail_.Recipients.At(2);
  EXPECT_EQ(meCopy.Email, "me@sender.example");  // the sending user's address
  EXPECT_EQ(meCopy.Sender, 1);
  EXPECT_EQ(meCopy.HardCoded, 1);
  EXPECT_EQ(mail_.Recipients.First()->RoleName, "Buyer");

  // Applying again replaces the fixed recipients instead of adding them twice.
  ASSERT_EQ(bp_.ApplyTo(mail_), S_OK);
  EXPECT_EQ(Names(mail_.Recipients), (V{"Ann", "Agent Smith", ""}));
}

TEST_F(ApplyTest, ASenderSignerWithoutAnIdentityCannotBeApplied) {
  Signers({"Buyer"});
  AddSigner(bp_, "", "", "Sender").Sender = 1;
  Mail("Ann", "ann@x.com");
  EXPECT_TRUE(FAILED(bp_.ApplyTo(mail_)));
}

TEST_F(ApplyTest, InABroadcastEveryRecipientPlaysTheFirstFreeSigner) {
  CRecip& fixed = AddSigner(bp_, "Agent", "agent@fixed.example", "Agent");
  fixed.HardCoded = 1;
  Signers({"Customer", "Other"});
  bp_.SendMode = CBlueprint::kModeBroadcast;
  // Even a recipient with a signer's address is no exception in a broadcast.
  for (const char* name : {"Ann", "Bob", "Cid"}) Mail(name, std::string(name) + "@x.com");
  Mail("Dan", "Other@blueprint.example");

  ASSERT_EQ(bp_.ApplyTo(mail_), S_OK);
  const CRecip* customer = bp_.Recipients.At(1);
  int targets = 0;
  for (const CRecip& recip : mail_.Recipients) {
    if (recip.HardCoded) {
      EXPECT_EQ(recip.Name, "Agent");
      continue;
    }
    ++targets;
    EXPECT_EQ(recip.Link(), customer) << recip.Name;
    EXPECT_EQ(recip.RoleName, "Customer") << recip.Name;
  }
  EXPECT_EQ(targets, 4);
  EXPECT_EQ(mail_.SendMode, CBlueprint::kModeBroadcast);
}

// The wizard's summary

TEST_F(BlueprintTest, SummaryRowsDescribeRecipientsDocumentsAndOptions) {
  CBlueprint bp;
  bp.ExpiresIn = 30;
  bp.RemindFreq = 3;
  bp.SendMode = 1;
  AddDocument(bp, "a.pdf");
  AddDocument(bp, "b.pdf");
  AddSigner(bp, "Ann", "ann@x.com", "Buyer");
  CRecip& open = AddSigner(bp, "", "open@x.com", "");
  open.RoleChoices = {"Buyer", "Seller"};
  bp.Keywords.Emplace().Keyword = "old row";

  bp.BuildSummaryRows();
  // Each row goes to the front, so the last built comes first.
  V keywords;
  for (const CKeywordValue& row : bp.Keywords) keywords.push_back(row.Keyword);
  EXPECT_EQ(keywords, (V{"Reminder frequency", "Mode", "Expires in (days)", "Document",
                         "Document", "Ann"}));  // broadcast: no role row for open recipients
  const CKeywordValue& mode = *bp.Keywords.At(1);
  EXPECT_EQ(mode.Kind, "List");
  EXPECT_EQ(mode.Choices, (V{"normal", "broadcast"}));
  EXPECT_EQ(mode.Selected, 1);
  EXPECT_EQ(bp.Keywords.At(0)->Value, "3");
  EXPECT_EQ(bp.Keywords.At(2)->Value, "30");
  EXPECT_EQ(bp.Keywords.At(3)->Value, "b.pdf");
  EXPECT_EQ(bp.Keywords.At(3)->Prompt, "<click to enter a value>");
  const CKeywordValue& ann = *bp.Keywords.At(5);
  EXPECT_EQ(ann.Kind, "Text");
  EXPECT_EQ(ann.Value, "Buyer");
  EXPECT_EQ(ann.Editable, 0);

  bp.SendMode = 0;
  bp.BuildSummaryRows();
  ASSERT_EQ(bp.Keywords.size(), 7u);
  const CKeywordValue& role = *bp.Keywords.At(5);
  EXPECT_EQ(role.Keyword, "open@x.com");  // no name: the address
  EXPECT_EQ(role.Kind, "List");
  EXPECT_EQ(role.Choices, (V{"Buyer", "Seller"}));
  EXPECT_EQ(role.Prompt, "<click here to select role>");
  EXPECT_EQ(role.Tag, CBlueprint::kRoleRowTag);
  EXPECT_EQ(bp.Keywords.At(1)->Selected, 0);
}

// The sending user

TEST_F(BlueprintTest, AddressesAreNormalised) {
  const struct {
    const char* in;
    const char* out;  // nullptr: cannot be normalised
  } cases[] = {
      {"Jane Doe <Jane.Doe@Example.COM>", "jane.doe@example.com"},
      {"  plain@example.com ", "plain@example.com"},
      {"[SMTP:Box@Example.com]", "smtp:box@example.com"},
      {"(x@y.z) <other@y.z>", "x@y.z"},             // round brackets come before angle ones
      {"Jane (Sales) <jane@example.com>", "jane@example.com"},  // a name's brackets hold no address
      {"<open@example.com", "open@example.com"},    // no closing bracket
      {"No Address", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    std::string address = c.in;
    const HRESULT hr = NormalizeSmtpAddr(address);
    if (!c.out) {
      EXPECT_TRUE(FAILED(hr)) << c.in;
      continue;
    }
    EXPECT_EQ(hr, S_OK) << c.in;
    EXPECT_EQ(address, c.out) << c.in;
  }
}

TEST_F(BlueprintTest, TheIdentityComesFromTheSettingOrTheMailSystemAndIsKept) {
  std::string name, address;
  EXPECT_TRUE(FAILED(IdentifyUser(name, address)));  // neither is there

  int asked = 0;
  SetCurrentUserLookup([&](std::string& n, std::string& a) {
    ++asked;
    n = "Mail User";
    a = "Mail User <Mail.User@Example.org>";
    return S_OK;
  });
  ASSERT_EQ(IdentifyUser(name, address), S_OK);
  EXPECT_EQ(name, "Mail User");
  EXPECT_EQ(address, "mail.user@example.org");
  ASSERT_EQ(IdentifyUser(name, address), S_OK);
  EXPECT_EQ(asked, 1);  // kept for the life of the process

  ForgetIdentity();
  CConfig().SetIdentity("Set@Example.net");
  ASSERT_EQ(IdentifyUser(name, address), S_OK);
  EXPECT_EQ(address, "set@example.net");
  EXPECT_EQ(name, "");
  EXPECT_EQ(asked, 1);

  ForgetIdentity();
  CConfig().SetIdentity("not an address");
  EXPECT_TRUE(FAILED(IdentifyUser(name, address)));
}

// Large documents

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(BlueprintTest, LargeEmbeddedDocumentsNeverSitInMemory) {
  constexpr std::size_t kMb = 1 << 20;
  const std::string source = home_.Root() + "/big.pdf";
  {
    std::ofstream out(source, std::ios::binary);
    for (unsigned i = 0; i < 48; ++i) out << RandomBytes(kMb, i);
  }
  const long before = PeakRssKb();
  CBlueprint bp;
  bp.Name = "Big";
  CeDoc& doc = AddDocument(bp, "big.pdf");
  doc.Key = source;
  doc.Source = CeDoc::kSourceEmbedded;
  ASSERT_EQ(bp.Save(), S_OK);
  CBlueprint read;
  ASSERT_EQ(read.Load(folder_ + "/Big.xml"), S_OK);
  ASSERT_EQ(read.Documents.size(), 1u);
  TempFile decoded;
  ASSERT_EQ(DecodeDocumentFile(*read.Documents.First(), ".pdf", decoded), S_OK);
  EXPECT_EQ(fs::file_size(decoded.Path()), 48 * kMb);
  // 48 MB of document (64 MB as Base64) went out and back in; memory stayed well below.
  EXPECT_LT(PeakRssKb() - before, 24 * 1024);
}

}  // namespace
