#include "model/saxreader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <utility>

#include "foundation/guard.h"

std::int32_t LenientInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    value = std::min(value * 10 + (text[i] - '0'), kLimit);
  if (negative) value = -value;
  value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(value);
}

CSAXValue::CSAXValue(std::string_view name, Kind kind, Deliver deliver)
    : CXMLElem(std::string(name)), kind_(kind), deliver_(std::move(deliver)) {
  if (kind_ == Kind::kText) {
    SetTextTarget(&text_);
    SetCollectText(true);
  }
}

CSAXValue::~CSAXValue() {
  if (kind_ == Kind::kFile && !delivered_ && !TempFilePath().empty()) {
    CloseTempFile();
    std::remove(TempFilePath().c_str());
  }
}

HRESULT CSAXValue::Finish() {
  if (kind_ == Kind::kFile) {
    if (FAILED(CloseTempFile())) return E_FAIL;
    delivered_ = true;
    deliver_(std::string(TempFilePath()));
  } else {
    delivered_ = true;
    deliver_(std::move(text_));
  }
  return S_OK;
}

HRESULT CSAXModelHandler::startElement(std::string_view name, const CSAXAttributes&) {
  const std::size_t before = stack_.Size();
  const bool pushed = OpenElement(name);
  pushed_.push_back(pushed && stack_.Size() > before);
  return S_OK;
}

HRESULT CSAXModelHandler::endElement(std::string_view name) {
  if (pushed_.empty()) return S_OK;
  const bool pushed = pushed_.back();
  pushed_.pop_back();
  if (!pushed) return S_OK;
  CXMLElem* top = stack_.Top();
  std::unique_ptr<CXMLElem> owned = stack_.Pop();
  if (auto* value = dynamic_cast<CSAXValue*>(top)) return value->Finish();
  CloseElement(name, top, std::move(owned));
  return S_OK;
}

void CSAXModelHandler::PushRoot(CXMLElem& target) {
  stack_.Push(&target);
  sawRoot_ = true;
}

void CSAXModelHandler::PushText(std::string_view name, CSAXValue::Deliver deliver) {
  stack_.Push(std::make_unique<CSAXValue>(name, CSAXValue::Kind::kText, std::move(deliver)));
}

void CSAXModelHandler::PushText(std::string_view name, std::string& target) {
  PushText(name, [&target](std::string&& text) { target = std::move(text); });
}

void CSAXModelHandler::PushNumber(std::string_view name, std::int32_t& target) {
  PushText(name, [&target](std::string&& text) { target = LenientInt(text); });
}

void CSAXModelHandler::PushFile(std::string_view name, CSAXValue::Deliver deliver) {
  auto value = std::make_unique<CSAXValue>(name, CSAXValue::Kind::kFile, std::move(deliver));
  CheckOk(value->OpenTempFile());
  stack_.Push(std::move(value));
}

void CDocFiles::Keep(std::string path) {
  if (path.empty() || Holds(path)) return;
  files_.push_back(std::make_shared<TempFile>(std::move(path)));
}

void CDocFiles::Share(const CDocFiles& other) {
  if (&other == this) return;
  for (const auto& file : other.files_)
    if (!Holds(file->Path())) files_.push_back(file);
}

bool CDocFiles::Holds(std::string_view path) const {
  for (const auto& file : files_)
    if (file->Path() == path) return true;
  return false;
}

HRESULT CSAXLoadState::ReadFile(const std::string& path, CSAXModelHandler& handler) {
  loadError_ = {};
  CSAXReader reader(handler);
  const HRESULT hr = reader.ParseFile(path);
  if (FAILED(hr)) {
    loadError_ = reader.Error();
    if (loadError_.code == 0) loadError_.code = -1;
    if (loadError_.message.empty()) loadError_.message = "reading stopped";
  }
  return hr;
}

void CSAXLoadState::SetLoadError(std::string why) {
  loadError_.code = -1;
  loadError_.message = std::move(why);
}
