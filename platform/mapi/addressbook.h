#pragma once
// The address book of a session over the profile's store: the root container, whose
// hierarchy lists the Global Address List (when the profile has an Exchange organisation) and
// the contacts, the containers' tables, and the recipients they open.
#include <memory>
#include <vector>

#include "platform/mapi/mapidefs.h"
#include "platform/mapi/props.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/store.h"

namespace mapi {

using StorePtr = std::shared_ptr<outlook::ProfileStore>;

com::ComPtr<IAddrBook> MakeAddressBook(StorePtr store);
com::ComPtr<IMAPITable> MakeTable(std::vector<PropRow> rows);

// Opens what an entry ID names: the root (no ID), the Global Address List, a directory user
// or list, a contact, or a one-off address. When `iid` is given the object must answer it
// (E_NOINTERFACE otherwise) and `out` holds that interface.
HRESULT OpenEntry(const StorePtr& store, ULONG cbEntryId, const ENTRYID* entryId, const IID* iid, ULONG* objectType,
                  IUnknown** out);

// The properties of a directory entry as the address book shows them.
PropRow RowOfDirectoryEntry(const outlook::DirectoryEntry& entry);

}  // namespace mapi
