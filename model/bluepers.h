#pragma once
// The blueprint library: every blueprint found in the blueprint folder, and the choice of
// those that fit an outgoing transaction.
#include <functional>
#include <string>
#include <string_view>

#include "model/blueprint.h"
#include "model/ownedlist.h"
#include "platform/win/hresult.h"

class CBluepers {
 public:
  using ApplicableCallback = std::function<void(CBlueprint&)>;

  CBluepers();
  ~CBluepers();
  CBluepers(const CBluepers&) = delete;
  CBluepers& operator=(const CBluepers&) = delete;

  // Loads every "*.xml" file of `folder` (the "BlueprintFolder" setting when empty), in name
  // order, replacing what the library held. Each blueprint gets one role per signer with a
  // role name and the file's last-write time. A file that cannot be read ends the walk: the
  // blueprints before it stay, and `FailedPath` and `FailedCode` tell which and why. True when
  // at least one blueprint was loaded and none failed.
  bool LoadFolder(const std::string& folder = {});
  // Marks each blueprint with documents applicable or not to `transaction`: with
  // `requiredKey`, only blueprints with a document of that key qualify; otherwise blueprints
  // with a document of `excludedKey` do not; a qualifying blueprint must then apply to a copy
  // of the transaction. Calls `callback` for each applicable one and returns their number.
  int FindApplicable(const CTransaction& transaction, std::string_view requiredKey,
                     std::string_view excludedKey, const ApplicableCallback& callback);
  // The blueprint of that name, or null.
  CBlueprint* Find(std::string_view name);

  COwnedList<CBlueprint> Blueprints;
  std::string Folder;       // the folder the library was loaded from
  std::string FailedPath;   // the file that stopped the last LoadFolder, if one did
  HRESULT FailedCode = S_OK;
};
