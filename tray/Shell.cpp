#include "tray/Shell.h"

namespace tray {

ShellCalls& Shell() {
    static ShellCalls calls;
    return calls;
}

}  // namespace tray
