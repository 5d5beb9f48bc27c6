#pragma once
// The program's confirmation box. User-interface thread only.
#include <string>

namespace kv {

enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };
// Button bits, as the sets callers combine.
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16, mbRetry = 32,
                         mbIgnore = 64;

// The platform's message box with the application's title; answers the
// modal result of the pressed button (1 to 7), or 0. A button set without
// a platform equivalent raises "Dialog not support".
int AppDialog(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons);

}  // namespace kv
