// SaveAs(path, 3) writes an Internet message: headers with SMTP addresses, the body, and
// every attachment as a base64 part that decodes to the original bytes.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "foundation/base64.h"
#include "platform/outlook/mime.h"
#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

struct Part {
  std::map<std::string, std::string> headers;  // lower-case names
  std::string body;
};

// Splits "headers CRLF CRLF body".
Part ParsePart(const std::string& text) {
  Part p;
  std::size_t end = text.find("\r\n\r\n");
  std::string head = text.substr(0, end);
  p.body = end == std::string::npos ? std::string() : text.substr(end + 4);
  std::string name;
  std::size_t pos = 0;
  while (pos < head.size()) {
    std::size_t eol = head.find("\r\n", pos);
    if (eol == std::string::npos) eol = head.size();
    std::string line = head.substr(pos, eol - pos);
    pos = eol + 2;
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      p.headers[name] += line;  // unfolding keeps the blank
      continue;
    }
    std::size_t colon = line.find(':');
    name.clear();
    for (char c : line.substr(0, colon)) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.headers[name] = line.substr(colon + 2);
  }
  return p;
}

std::vector<Part> Parts(const Part& message) {
  std::smatch m;
  std::string type = message.headers.at("content-type");
  EXPECT_TRUE(std::regex_search(type, m, std::regex("boundary=\"([^\"]+)\"")));
  std::string boundary = "--" + m[1].str();
  std::vector<Part> parts;
  std::size_t pos = message.body.find(boundary);
  while (pos != std::string::npos) {
    pos += boundary.size();
    if (message.body.compare(pos, 2, "--") == 0) break;
    std::size_t next = message.body.find("\r\n" + boundary, pos);
    parts.push_back(ParsePart(message.body.substr(pos + 2, next - pos - 2)));
    pos = next == std::string::npos ? next : next + 2;
  }
  return parts;
}

std::string Decode64(const std::string& text) {
  Base64Coder coder;
  coder.Decode(text);
  return std::string(static_cast<const char*>(coder.GetDecoded()), coder.GetDecodedLength());
}

using MimeTest = OutlookTest;

TEST_F(MimeTest, SavedMessageHasAddressesBodyAndAttachmentsAsBase64Parts) {
  std::string pdf = MakeFile("contract.pdf", 20000, 3);
  std::string odd = MakeFile("Übersicht 1.txt", 77, 4);
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Put(mail, "Subject", Variant("Vertrag ü"));
  Put(mail, "Body", Variant("Hello =\nsecond line with a trailing blank \n"));
  ComPtr<IDispatch> recipients = Obj(mail, "Recipients");
  Call(recipients, "Add", {Variant("Bob Baker")});
  Put(Call(recipients, "Add", {Variant("signers")}), "Type", Variant(2));
  Put(Call(recipients, "Add", {Variant("hidden@example.com")}), "Type", Variant(3));
  ASSERT_TRUE(CallValue(recipients, "ResolveAll").AsBool());
  Call(Obj(mail, "Attachments"), "Add", {Variant(pdf)});
  Call(Obj(mail, "Attachments"), "Add", {Variant(odd)});
  std::string path = home_.Tmp() + "/Vertrag.msg";
  Do(mail, "SaveAs", {Variant(path), Variant(3)});

  std::string text = vlrtest::ReadFile(path);
  Part message = ParsePart(text);
  EXPECT_EQ(message.headers["from"], "\"Alice Archer\" <alice@example.com>");
  EXPECT_EQ(message.headers["to"], "\"Bob Baker\" <bob@example.com>") << "the primary SMTP proxy, not the alias";
  EXPECT_EQ(message.headers["cc"], "\"Signers\" <signers@example.com>");
  EXPECT_EQ(message.headers.count("bcc"), 0u);
  EXPECT_EQ(message.headers["subject"], "=?UTF-8?B?VmVydHJhZyDDvA==?=");
  EXPECT_EQ(message.headers["mime-version"], "1.0");
  EXPECT_EQ(message.headers["x-unsent"], "1");
  EXPECT_TRUE(std::regex_match(message.headers["date"],
                               std::regex(R"([A-Z][a-z]{2}, \d{1,2} [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4})")))
      << message.headers["date"];
  EXPECT_EQ(message.headers["content-type"].rfind("multipart/mixed; boundary=", 0), 0u);

  std::vector<Part> parts = Parts(message);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].headers["content-transfer-encoding"], "quoted-printable");
  EXPECT_EQ(parts[0].body, "Hello =3D\r\nsecond line with a trailing blank=20\r\n");
  EXPECT_EQ(parts[1].headers["content-type"], "application/pdf; name=\"contract.pdf\"");
  EXPECT_EQ(parts[1].headers["content-disposition"], "attachment; filename=\"contract.pdf\"");
  EXPECT_EQ(Decode64(parts[1].body), vlrtest::ReadFile(pdf));
  EXPECT_EQ(parts[2].headers["content-disposition"], "attachment; filename*=UTF-8''%C3%9Cbersicht%201.txt");
  EXPECT_EQ(Decode64(parts[2].body), vlrtest::ReadFile(odd));
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t eol = text.find("\r\n", pos);
    ASSERT_NE(eol, std::string::npos);
    ASSERT_LE(eol - pos, 78u) << "line at " << pos;
    pos = eol + 2;
  }
}

TEST_F(MimeTest, HtmlMailIsAnAlternativeOfTextAndHtml) {
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Put(mail, "HTMLBody", Variant("<p>Hi</p>"));
  std::string path = home_.Tmp() + "/html.msg";
  Do(mail, "SaveAs", {Variant(path)});
  Part message = ParsePart(vlrtest::ReadFile(path));
  EXPECT_EQ(message.headers["content-type"].rfind("multipart/alternative;", 0), 0u);
  std::vector<Part> parts = Parts(message);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].headers["content-type"], "text/plain; charset=\"utf-8\"");
  EXPECT_EQ(parts[1].headers["content-type"], "text/html; charset=\"utf-8\"");
  EXPECT_EQ(parts[1].body, "<p>Hi</p>");
}

TEST_F(MimeTest, AnEmbeddedMessageTravelsInsideTheMessageThatCarriesIt) {
  ComPtr<IDispatch> inner = Call(app_, "CreateItem", {Variant(0)});
  Put(inner, "Subject", Variant("Inner"));
  std::string innerPath = home_.Tmp() + "/inner.msg";
  Do(inner, "SaveAs", {Variant(innerPath), Variant(3)});
  ComPtr<IDispatch> task = Call(app_, "CreateItem", {Variant(3)});
  Call(Obj(task, "Attachments"), "Add", {Variant(innerPath), Variant(5)});
  Call(Obj(task, "Attachments"), "Add", {Variant(inner)});  // an item object attaches as a message too
  std::string path = home_.Tmp() + "/outer.msg";
  Do(task, "SaveAs", {Variant(path), Variant(3)});
  std::vector<Part> parts = Parts(ParsePart(vlrtest::ReadFile(path)));
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(Decode64(parts[1].body), vlrtest::ReadFile(innerPath));
  EXPECT_EQ(parts[2].headers["content-disposition"], "attachment; filename=\"Inner.msg\"");
  EXPECT_NE(Decode64(parts[2].body).find("Subject: Inner\r\n"), std::string::npos);
}

TEST(MimePieces, HeaderTextAddressesAndHtml) {
  EXPECT_EQ(outlook::EncodeHeaderText("plain"), "plain");
  EXPECT_EQ(outlook::FormatAddress("", "a@b.c"), "<a@b.c>");
  EXPECT_EQ(outlook::FormatAddress("a@b.c", "a@b.c"), "<a@b.c>");
  EXPECT_EQ(outlook::FormatAddress("Doe, \"J\"", "j@d.e"), "\"Doe, \\\"J\\\"\" <j@d.e>");
  // A long non-ASCII text is cut into encoded words without splitting a character.
  std::string longText;
  for (int i = 0; i < 40; ++i) longText += "ü";
  std::string encoded = outlook::EncodeHeaderText(longText);
  std::string decoded;
  std::smatch m;
  for (std::string rest = encoded; std::regex_search(rest, m, std::regex(R"(=\?UTF-8\?B\?([^?]*)\?=)"));
       rest = m.suffix())
    decoded += Decode64(m[1].str());
  EXPECT_EQ(decoded, longText);
  EXPECT_EQ(outlook::HtmlToText("<b>a</b>&lt;b&gt;<script>x</script>"), "a<b>");
  EXPECT_EQ(outlook::TextToHtml("a<\nb"), "<html><body>a&lt;<br>\nb</body></html>");
  EXPECT_EQ(outlook::ContentTypeOf("X.PDF"), "application/pdf");
  EXPECT_EQ(outlook::ContentTypeOf("noext"), "application/octet-stream");
}

}  // namespace
