// The notification library TWNOTIFY.DLL and its NotifyRemote entry, loaded
// by StoreLibrary_Init and freed by StoreLibrary_UnInit (through the frame's
// seams, installed when this code is linked in).
#pragma once

namespace tw {

// NotifyRemote(server, protocol, message): 0 when the listener accepted.
using NotifyRemoteFunction = int (*)(const char* server, const char* protocol, const char* message);

// Loads the library unless it is loaded, and resolves NotifyRemote; each
// failure is written to the event log and leaves notifications off.
void LoadNotificationLibrary();
void UnloadNotificationLibrary();

// The entry to call: a test replacement when one is set, else the loaded
// library's, else nullptr.
NotifyRemoteFunction NotifyRemoteEntry();
// Sets a replacement (nullptr removes it); returns the previous one.
NotifyRemoteFunction SetNotifyRemoteForTesting(NotifyRemoteFunction replacement);

// Puts the loader into the frame's seams. Runs by itself before the
// library's process attach; calling it again does no harm.
void InstallNotificationSeams();

}  // namespace tw
