#pragma once
// Envelopes as the service keeps them: metadata in SQLite (envelopes and its envelope_* tables,
// made by Store), each document's decoded bytes in a file of the data folder
// ("envelopes/<envelope id>/document-<index>.bin", index in request order from 0).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service-sim/enveloperequest.h"
#include "service-sim/options.h"
#include "service-sim/store.h"

namespace sim {

struct EnvelopeSummary {
  std::string envelopeId, accountId, status, subject, created;
};

struct CreatedEnvelope {
  std::string envelopeId, status, time;
};

class EnvelopeStore {
 public:
  EnvelopeStore(Store& store, std::filesystem::path dataDir) : store_(store), dataDir_(std::move(dataDir)) {}

  // Gives the envelope a new id, moves the decoded documents into the data folder and records
  // everything in one transaction; on failure nothing stays.
  CreatedEnvelope Create(const EnvelopeRequest& request, const Account& sender);

  // Newest first; every account's when `accountId` is empty.
  std::vector<EnvelopeSummary> List(std::string_view accountId);
  // The whole envelope as one JSON object (see control.h); nothing when it is unknown.
  std::optional<std::string> Json(std::string_view envelopeId);
  // The file of the document at `index`; nothing when there is none.
  std::optional<std::filesystem::path> DocumentFile(std::string_view envelopeId, int64_t index);

 private:
  Store& store_;
  std::filesystem::path dataDir_;
};

// A fresh GUID, lower-case 8-4-4-4-12 hex without braces.
std::string NewGuid();

}  // namespace sim
