// The stored properties the program's main window must carry, in order.
#pragma once

#include <vector>

#include "stamp/form.h"

namespace zarn::testing {

inline const std::vector<TFormProperty> kMainWindowProperties = {
    {"Left", 0},
    {"Top", 0},
    {"Caption", u"Zarn"},
    {"ClientHeight", 281},
    {"ClientWidth", 418},
    {"Color", TIdentifier{"clBtnFace"}},
    {"Font.Charset", TIdentifier{"DEFAULT_CHARSET"}},
    {"Font.Color", TIdentifier{"clWindowText"}},
    {"Font.Height", -11},
    {"Font.Name", u"Tahoma"},
    {"Font.Style", TSetValue{}},
    {"OldCreateOrder", false},
    {"OnCreate", TIdentifier{"FormCreate"}},
    {"PixelsPerInch", 96},
    {"TextHeight", 13},
};

}  // namespace zarn::testing
