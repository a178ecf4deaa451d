#pragma once
// Result codes of the messaging layer (the numbers the platform gives them), and Outlook's
// numbers for folders, item kinds and object classes.
#include "platform/win/hresult.h"

constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
constexpr HRESULT MAPI_E_NO_SUPPORT = MakeHr(0x80040102);
constexpr HRESULT MAPI_E_BAD_CHARWIDTH = MakeHr(0x80040103);
constexpr HRESULT MAPI_E_NOT_FOUND = MakeHr(0x8004010F);
constexpr HRESULT MAPI_E_OBJECT_DELETED = MakeHr(0x8004010A);
constexpr HRESULT MAPI_E_VERSION = MakeHr(0x80040110);
constexpr HRESULT MAPI_E_LOGON_FAILED = MakeHr(0x80040111);
constexpr HRESULT MAPI_E_CORRUPT_DATA = MakeHr(0x8004011B);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = MakeHr(0x80040107);
constexpr HRESULT MAPI_E_NOT_INITIALIZED = MakeHr(0x80040605);
constexpr HRESULT MAPI_E_AMBIGUOUS_RECIP = MakeHr(0x80040700);
constexpr HRESULT MAPI_E_COLLISION = MakeHr(0x80040604);
constexpr HRESULT MAPI_E_BUSY = MakeHr(0x8004010B);
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
constexpr HRESULT MAPI_W_ERRORS_RETURNED = 0x00040380;

namespace outlook {

// GetDefaultFolder numbers.
enum DefaultFolder : int {
  olFolderDeletedItems = 3,
  olFolderOutbox = 4,
  olFolderSentMail = 5,
  olFolderInbox = 6,
  olFolderCalendar = 9,
  olFolderContacts = 10,
  olFolderJournal = 11,
  olFolderNotes = 12,
  olFolderTasks = 13,
  olFolderDrafts = 16,
};

// CreateItem kinds and folders' DefaultItemType.
enum ItemType : int {
  olMailItem = 0,
  olAppointmentItem = 1,
  olContactItem = 2,
  olTaskItem = 3,
  olJournalItem = 4,
  olNoteItem = 5,
};

// The Class property of objects.
enum ObjectClass : int {
  olApplication = 0,
  olNamespace = 1,
  olFolder = 2,
  olRecipient = 4,
  olAttachment = 5,
  olAddressEntry = 8,
  olAppointment = 26,
  olContact = 40,
  olJournal = 42,
  olMail = 43,
  olNote = 44,
  olTask = 48,
  olUserProperty = 78,
};

enum RecipientType : int { olTo = 1, olCC = 2, olBCC = 3 };
enum AttachmentType : int { olByValue = 1, olByReference = 4, olEmbeddeditem = 5, olOLE = 6 };
enum UserPropertyType : int {
  olText = 1,
  olNumber = 3,
  olDateTime = 5,
  olYesNo = 6,
  olInteger = 20,
};
enum TaskStatus : int {
  olTaskNotStarted = 0,
  olTaskInProgress = 1,
  olTaskComplete = 2,
  olTaskWaiting = 3,
  olTaskDeferred = 4,
};
// Address entries' DisplayType.
enum DisplayType : int {
  olUser = 0,
  olDistList = 1,
  olForum = 2,
  olAgent = 3,
  olOrganization = 4,
  olPrivateDistList = 5,
  olRemoteUser = 6,
};
enum SaveMode : int { olSave = 0, olDiscard = 1, olPromptForSave = 2 };
enum SaveAsType : int { olTXT = 0, olHTML = 5, olMSG = 3, olMSGUnicode = 9 };
enum BodyFormat : int { olFormatUnspecified = 0, olFormatPlain = 1, olFormatHTML = 2, olFormatRichText = 3 };

// Outlook's "no date": 1 January 4501 as an automation date.
constexpr double kNoDate = 949998.0;

}  // namespace outlook
