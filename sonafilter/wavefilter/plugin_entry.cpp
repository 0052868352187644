// plugin_entry.cpp — sonafilter's link and unlink steps.
#include "hostlink.h"

bool PluginLink() { return true; }

bool PluginUnlink() { return true; }
