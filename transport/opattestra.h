#pragma once
// The base of every API 3.0 operation: a SOAP 1.1 envelope whose header carries a
// WS-Addressing block and a WS-Security block (timestamp and username token), and whose body
// carries one API element in the service's namespace. Derived operations add their action
// name, their body and their result reading.
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/credentials.h"
#include "transport/webop.h"

class OpAttestra : public CWebSvrOp {
 public:
  // `url` is the API 3.0 endpoint held by the connected API object.
  OpAttestra(std::string url, const CCredentials& credentials);
  ~OpAttestra() override;

  // Builds both header blocks; false when the action name is empty or no GUID can be made.
  // Derived operations call it from their own PrepareData (BuildRequestFile does).
  bool PrepareData() override;

  // "<name>value</name>\n" (escaped when asked) to the file, or to the in-memory request body
  // when there is no file. An empty value writes "<name></name>\n", nothing with
  // `omitWhenEmpty`, and E_INVALIDARG without a name. Without a name the value is written as it
  // is (raw tags such as "<Tabs>"). E_FAIL when the file write fails.
  HRESULT WriteElement(std::string_view name, std::string_view value, std::FILE* file, bool omitWhenEmpty,
                       bool escape);
  // Copies the whole content of the file at `path` into `file`; false when it is empty or
  // cannot be read.
  bool AppendFileToRequest(std::FILE* file, const std::string& path);

  // The envelope's start tag with all its namespace declarations, and "\n".
  static std::string EnvelopeStart();

  const CCredentials& Credentials() const { return credentials_; }
  const std::string& Action() const { return action_; }
  const std::string& Host() const { return host_; }
  const std::string& SecurityHeader() const { return securityHeader_; }
  const std::string& AddressingHeader() const { return addressingHeader_; }

 protected:
  // The whole request of a derived operation, in a temporary file that Run then streams: the
  // response goes to another temporary file, the headers are built, and the file gets the
  // envelope start, the header, "<SOAP-ENV:Body>\n", the API element (named by the action, in
  // the service's namespace) with what `writeChildren` writes into it, and the closing tags.
  // False (and no file left behind) when anything fails.
  bool BuildRequestFile(const std::function<bool(std::FILE*)>& writeChildren);

  CCredentials credentials_;
  std::string host_;
  std::string securityHeader_;
  std::string addressingHeader_;
  std::string action_;
};
