// Load and unload of the library. The OS entry points (DllMain, or the
// shared object's constructor and destructor) call ProcessAttach and
// ProcessDetach after choosing a back-end with UseBackend.
#pragma once

namespace hx {

// Link presets, shared words, then the load sequence. False: the library
// refuses to load (hardware access could not be opened).
bool ProcessAttach();
// The unload sequence, then CloseMcuLinks.
void ProcessDetach();

// The two sequences on their own.
bool LoadSequence();
void UnloadSequence();

bool IsLoaded();

}  // namespace hx
