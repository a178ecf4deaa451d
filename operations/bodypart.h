#pragma once
// One part of the outgoing mail item: an attachment, or the item itself standing for its
// message body. Its content is saved to a temporary file when the envelope request needs it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

// Texts of the string table that the envelope request uses.
namespace sendtext {
inline constexpr const char* kMessageUnspecified = "message unspecified";    // 9009
inline constexpr const char* kMessageBody = "Message Body";                  // 9010
inline constexpr const char* kYes = "Yes";                                   // 9035
inline constexpr const char* kOutlookAttachment = "<Outlook Attachment>";    // 9120
}  // namespace sendtext

class CBodyPart {
 public:
  // The mail item's body format that means HTML.
  static constexpr std::int32_t kFormatHtml = 2;

  // `item` is the attachment, or the mail item for the message body.
  CBodyPart(com::ComPtr<IDispatch> item, std::string name, std::string label, std::int32_t bodyFormat);
  // Releases the item and deletes the local file, which is always a temporary copy.
  ~CBodyPart();
  CBodyPart(const CBodyPart&) = delete;
  CBodyPart& operator=(const CBodyPart&) = delete;

  // Saves the part into a new temporary file ("ATgn" prefix), which becomes `LocalPath`.
  // The message body (`asBody`): with `allowHtml` and an HTML item its "HTMLBody" goes into a
  // ".htm" file (and `Extension` becomes "htm"), otherwise its "Body"; `prefix` is written
  // first. An empty body writes "message unspecified", unless the caller asks for the length
  // (in characters) of the body text, which then writes nothing. An attachment is saved with
  // its "SaveAsFile". False (and no file left) on failure.
  bool SaveContent(bool asBody, bool allowHtml, std::string_view prefix = {}, std::size_t* length = nullptr);
  // Deletes the local file, if any, and forgets it.
  void DropLocalFile();
  bool IsMessageBody() const { return Label == sendtext::kMessageBody; }

  com::ComPtr<IDispatch> Item;
  std::string Name;
  std::string Extension;  // after the last "." of Name; "pdf" without one
  std::string Label;      // "Message Body" for the message body part
  std::string LocalPath;  // the temporary file that holds the content once saved
  std::int32_t BodyFormat = 0;
};

// Automation objects in the shape of Outlook's, for callers that have no Outlook (the command
// line, tests): a file offered as an attachment, whose "SaveAsFile" copies it (the file itself
// is only read), and a mail item that holds a message body ("Body", "HTMLBody", "BodyFormat").
com::ComPtr<IDispatch> MakeFileAttachment(std::string path);
com::ComPtr<IDispatch> MakeMessageItem(std::string body, std::string htmlBody = {},
                                       std::int32_t bodyFormat = 1);

// Copies the file's bytes to `target` (created or emptied, mode 0600). False on failure.
bool CopyFileContent(const std::string& source, const std::string& target);
