/* SPDX-License-Identifier: Apache-2.0 */
// The built-in printer, in the objects file form (mib_file.h).
#pragma once

#include <string_view>

namespace printersim {

std::string_view DefaultPrinterObjects();

}  // namespace printersim
