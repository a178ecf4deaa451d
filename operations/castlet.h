#pragma once
// One piece of an envelope request that is split for a broadcast: the operation writes the
// request into pieces ("Head", "Recips", "Tail", "Options", and per template further Head and
// Tail pieces between "<Template>" and "</Template>" markers), and the broadcast agent joins
// them into one request per target recipient.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/xmlio.h"
#include "platform/win/hresult.h"

class CCastlet : public CXMLIO {
 public:
  // The marker texts, pieces without a file.
  static constexpr const char* kTemplateOpen = "<Template>";
  static constexpr const char* kTemplateClose = "</Template>";

  // A piece with a file. With a path, that file is created (mode 0600) or, when it exists,
  // opened without losing what it holds; without one, a new temporary ".xml" file is made.
  // Either way it is open for writing afterwards, unless the creation failed (IsOpen false).
  explicit CCastlet(std::string name, std::string path = {});
  // A marker: no file.
  static std::unique_ptr<CCastlet> Marker(std::string text);
  // Closes the file; deletes it when the delete flag is set.
  ~CCastlet() override;

  const std::string& Name() const { return name_; }
  const std::string& Path() const { return path_; }
  bool IsMarker() const { return marker_; }
  bool IsOpen() const { return file_ != nullptr; }
  // The open file, none once closed (or for a marker).
  std::FILE* File() const { return file_.get(); }
  // Flushes and closes the file; E_FAIL when that fails. Closing a closed piece does nothing.
  HRESULT Close();

  // Clear at construction: the files outlive the piece for whoever joins them.
  bool DeleteFlag = false;

 private:
  struct MarkerTag {};
  CCastlet(std::string text, MarkerTag);

  std::string name_;
  std::string path_;
  FilePtr file_;
  bool marker_ = false;
};
