#pragma once
// An item's Attachments and each Attachment. By-value and embedded-item attachments keep
// their content whole, byte for byte; a by-reference attachment keeps the path it links to.
#include <memory>
#include <string>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/item.h"
#include "platform/outlook/mime.h"

namespace outlook {

class AttachmentsCollection : public com::DispatchObject {
 public:
  explicit AttachmentsCollection(com::ComPtr<ItemObject> item);

 private:
  com::ComPtr<ItemObject> item_;
};

class AttachmentObject : public com::DispatchObject {
 public:
  AttachmentObject(com::ComPtr<ItemObject> item, std::shared_ptr<AttachmentRecord> record);

 private:
  com::ComPtr<ItemObject> item_;
  std::shared_ptr<AttachmentRecord> record_;
};

// Hands an attachment's content to `sink`: from memory, from the store, or (by reference)
// from the linked file.
void ReadAttachmentContent(ItemObject& item, const AttachmentRecord& record, const ChunkSink& sink);
// Writes the content to a file (replacing it). Codes as HRESULT_FROM_WIN32.
HRESULT SaveAttachmentToFile(ItemObject& item, const AttachmentRecord& record, const std::string& path);

}  // namespace outlook
