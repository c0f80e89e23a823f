// The built module, loaded with dlopen as a host loads it, plus the small helpers
// black-box tests share.
#ifndef QUELLIX_TESTS_LOADED_MODULE_H
#define QUELLIX_TESTS_LOADED_MODULE_H

#include <string>
#include <vector>

#include "lib/plugin/plugin_library.h"

// The module every black-box test opens (its path is fixed at build time).
const ffglhost::PluginLibrary& Module();

// Every line the module sent to the host's log function since the last Clear.
class HostLog {
  public:
    static void Install();  // installs the capturing log function into Module()
    static void Clear();
    static const std::vector<std::string>& Lines();
};

#endif  // QUELLIX_TESTS_LOADED_MODULE_H
