// The link's scripted module (virtual clock, event pump and a fake line) is built with the link
// tests; the virtual-clock cells of the fault matrix use it too, so it is compiled here as well.
#include "link/scripted_module.cpp"  // NOLINT(bugprone-suspicious-include)
