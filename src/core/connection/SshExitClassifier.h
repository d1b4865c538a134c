// Why an SSH client that exited on its own ended the run, as one sentence:
// three failures are recognised by what the client wrote on its standard
// error, otherwise that text itself tells, and with nothing said the exit
// status does.
#pragma once

#include <string>
#include <string_view>

namespace vistrel::SshExitClassifier {

// The sentence for `diagnostics` (the client's standard error, UTF-8) and its
// exit status, by the first rule that applies:
//  1. a changed host key;  2. "Permission denied";  3. "Connection refused"
//     (case-sensitive, anywhere in the text);
//  4. the text without surrounding white space, its last 1200 characters;
//  5. the generic sentence with the exit status.
std::string message(std::string_view diagnostics, int status);

} // namespace vistrel::SshExitClassifier
