#include "platform/outlook/collection.h"

#include <ctime>

#include "platform/com/unknown.h"
#include "platform/win/text.h"

namespace outlook {

std::size_t FindByName(const com::Variant& index, std::size_t count,
                       const std::function<std::string(std::size_t)>& nameAt) {
  if (index.Type() == com::VarType::Text) {
    std::string name = index.AsText();
    for (std::size_t i = 0; i < count; ++i)
      if (win::EqualsNoCase(nameAt(i), name)) return i;
    return count;
  }
  std::int32_t n = index.AsInt();
  if (n < 1 || static_cast<std::size_t>(n) > count) com::Throw(DISP_E_BADINDEX);
  return static_cast<std::size_t>(n - 1);
}

std::size_t IndexArg(const com::Variant& index, std::size_t count, const std::function<std::string(std::size_t)>& nameAt) {
  std::size_t i = FindByName(index, count, nameAt);
  if (i >= count) com::Throw(DISP_E_BADINDEX);
  return i;
}

double NowDate() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return com::OleDateFromTime(t + local.tm_gmtoff);
}

}  // namespace outlook
