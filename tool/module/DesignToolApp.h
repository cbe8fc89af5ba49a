// What the application object of every design-tool library does when the library loads: hand
// the library's registration list to the sound engine that runs inside the design tool.
#pragma once

#include <afxwin.h>

namespace ZV {
namespace Orvel {

// The body of each design-tool application object's InitInstance: runs the framework's own
// InitInstance of io_app, then, if the library registered any plug-in, loads
// "OrvelSoundEngine.dll" and passes g_pZVPluginList to its "RegisterOrvelPlugin" export. A
// missing engine library or export is not an error. Always TRUE; the engine library is never
// released.
BOOL InitDesignToolApp(CWinApp& io_app);

}  // namespace Orvel
}  // namespace ZV
