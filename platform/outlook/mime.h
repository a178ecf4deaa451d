#pragma once
// Writing an item as an Internet message (RFC 5322 with MIME): the text body, an HTML
// alternative when there is one, and every attachment as a base64 part of its own.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/hresult.h"

namespace outlook {

using ChunkSink = std::function<void(const char* data, std::size_t size)>;

struct MimeAttachment {
  std::string fileName;
  // Hands the content to the sink in pieces (attachments may be large).
  std::function<void(const ChunkSink& sink)> content;
};

struct MimeMessage {
  std::string from;     // "Name <address>" or empty
  std::string to, cc;   // address lists, already formatted
  std::string subject;  // UTF-8
  std::string date;     // RFC 5322 date text
  std::vector<std::pair<std::string, std::string>> extraHeaders;
  std::string textBody;
  std::string htmlBody;  // empty: no HTML alternative
  std::vector<MimeAttachment> attachments;
};

// Writes the message to `path` (replacing it) through a temporary file beside it, so the file
// is whole or absent. Codes: HRESULT_FROM_WIN32 of the failing file operation.
HRESULT WriteMimeFile(const MimeMessage& message, const std::string& path);
// The message as text (for small messages and tests).
std::string MimeText(const MimeMessage& message);

// Pieces used by the writer, exposed for the object model.
std::string RfcDate(double oleDateLocal);
// "Name <address>", with the name quoted or encoded as needed.
std::string FormatAddress(const std::string& name, const std::string& address);
// An RFC 2047 encoded word when the text is not plain ASCII.
std::string EncodeHeaderText(const std::string& text);
std::string ContentTypeOf(const std::string& fileName);
// Plain text from HTML (tags dropped, line breaks kept, common entities decoded), and back.
std::string HtmlToText(const std::string& html);
std::string TextToHtml(const std::string& text);

}  // namespace outlook
