#include "platform/outlook/attachments.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"

namespace outlook {
namespace {

constexpr int kAttachmentsClass = 18;  // olAttachments

HRESULT FileError(int err) {
  switch (err) {
    case ENOENT:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  }
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The whole file, byte for byte; throws the file's error.
std::string ReadWholeFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) com::Throw(FileError(errno));
  if (!S_ISREG(st.st_mode)) com::Throw(E_INVALIDARG);
  std::ifstream in(path, std::ios::binary);
  if (!in) com::Throw(FileError(errno));
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) com::Throw(HRESULT_FROM_WIN32(ERROR_READ_FAULT));
  return data;
}

// A subject as a file name: no separators.
std::string CleanFileName(std::string name) {
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':' || c == '\0') c = '_';
  return name.empty() ? std::string("Untitled") : name;
}

}  // namespace

void ReadAttachmentContent(ItemObject& item, const AttachmentRecord& record, const ChunkSink& sink) {
  if (record.content) {
    sink(record.content->data(), record.content->size());
    return;
  }
  if (record.type == olByReference) {
    std::string data = ReadWholeFile(record.pathName);
    sink(data.data(), data.size());
    return;
  }
  HRESULT hr = StoreCall([&] { item.GetSession().Store().ReadAttachment(record.id, sink); });
  if (FAILED(hr)) com::Throw(hr);
}

HRESULT SaveAttachmentToFile(ItemObject& item, const AttachmentRecord& record, const std::string& path) {
  if (path.empty()) return E_INVALIDARG;
  // Written beside the target and renamed over it: a failure leaves no half file.
  std::string temp = path + ".part-" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return FileError(errno);
  HRESULT hr = S_OK;
  try {
    ReadAttachmentContent(item, record, [&](const char* data, std::size_t size) {
      std::size_t done = 0;
      while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
          if (errno == EINTR) continue;
          com::Throw(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
        }
        done += static_cast<std::size_t>(n);
      }
    });
  } catch (const com::ComError& e) {
    hr = e.code;
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (::close(fd) != 0 && SUCCEEDED(hr)) hr = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  if (SUCCEEDED(hr) && ::rename(temp.c_str(), path.c_str()) != 0) hr = FileError(errno);
  if (FAILED(hr)) ::unlink(temp.c_str());
  return hr;
}

AttachmentsCollection::AttachmentsCollection(com::ComPtr<ItemObject> item) : item_(std::move(item)) {
  Property("Class", [] { return kAttachmentsClass; });
  Property("Count", [this] { return static_cast<int>(item_->Record().attachments.size()); });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    auto& list = item_->Record().attachments;
    std::size_t i = IndexArg(a[0], list.size(), [&](std::size_t k) { return list[k]->displayName; });
    return com::Make<AttachmentObject>(item_, list[i]);
  });
  // Add(Source, Type, Position, DisplayName)
  Method("Add", 1, 4, [this](const com::DispParams& a) {
    auto record = std::make_shared<AttachmentRecord>();
    record->type = a.Has(1) ? a.Int(1) : olByValue;
    if (record->type != olByValue && record->type != olByReference && record->type != olEmbeddeditem)
      com::Throw(E_INVALIDARG);
    if (a[0].IsObject()) {
      // An item object attaches as an embedded message.
      auto* source = dynamic_cast<ItemObject*>(a[0].Dispatch());
      if (!source) com::Throw(E_INVALIDARG);
      record->type = olEmbeddeditem;
      record->content = source->MessageText();
      record->fileName = CleanFileName(source->Text("Subject")) + ".msg";
    } else {
      std::string path = a.Text(0);
      if (path.empty()) com::Throw(E_INVALIDARG);
      record->fileName = BaseName(path);
      if (record->type == olByReference) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) com::Throw(FileError(errno));
        record->pathName = path;
      } else {
        // Copied now: the caller may remove the file as soon as Add returns.
        record->content = ReadWholeFile(path);
      }
    }
    record->size = record->content ? static_cast<std::int64_t>(record->content->size()) : 0;
    record->position = a.Has(2) ? a.Int(2) : 0;
    record->displayName = a.Has(3) ? a.Text(3) : record->fileName;
    item_->Record().attachments.push_back(record);
    item_->Touch();
    return com::Make<AttachmentObject>(item_, record);
  });
  Method("Remove", 1, 1, [this](const com::DispParams& a) {
    auto& list = item_->Record().attachments;
    std::int32_t n = a.Int(0);
    if (n < 1 || static_cast<std::size_t>(n) > list.size()) com::Throw(DISP_E_BADINDEX);
    list.erase(list.begin() + (n - 1));
    item_->Touch();
  });
}

AttachmentObject::AttachmentObject(com::ComPtr<ItemObject> item, std::shared_ptr<AttachmentRecord> record)
    : item_(std::move(item)), record_(std::move(record)) {
  Property("Class", [] { return static_cast<int>(olAttachment); });
  Property("Type", [this] { return record_->type; });
  Property("Index", [this](com::Variant& r) -> HRESULT {
    auto& list = item_->Record().attachments;
    auto it = std::find(list.begin(), list.end(), record_);
    if (it == list.end()) return MAPI_E_OBJECT_DELETED;
    r = com::Variant(static_cast<int>(it - list.begin() + 1));
    return S_OK;
  });
  Property("Position", [this] { return record_->position; });
  Property("FileName", [this] { return record_->fileName; });
  Property("DisplayName", [this] { return record_->displayName; },
           [this](const com::Variant& v) {
             record_->displayName = v.AsText();
             item_->Touch();
           });
  Property("PathName", [this] { return record_->pathName; });
  Property("Size", [this] { return static_cast<int>(record_->size); });
  Property("Parent", [this] { return item_; });
  Method("SaveAsFile", 1, 1, [this](const com::DispParams& a) -> void {
    HRESULT hr = SaveAttachmentToFile(*item_, *record_, a.Text(0));
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Delete", 0, 0, [this](const com::DispParams&) {
    auto& list = item_->Record().attachments;
    auto it = std::find(list.begin(), list.end(), record_);
    if (it == list.end()) com::Throw(MAPI_E_OBJECT_DELETED);
    list.erase(it);
    item_->Touch();
  });
}

}  // namespace outlook
