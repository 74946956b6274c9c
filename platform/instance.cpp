// Windows of another emulator process on the same device folder.
#include "platform/internal.h"

namespace ce::internal {

LRESULT RemoteSendMessage(HWND, UINT, WPARAM, LPARAM, bool) { return 0; }
HWND RemoteFindWindow(const std::u16string&, const std::u16string*) { return nullptr; }
BOOL RemoteSetForeground(HWND) { return FALSE; }

}  // namespace ce::internal
