/* SPDX-License-Identifier: Apache-2.0 */
// The exporter's dashboard: one page, its style and script inline (it works
// without any other server), drawn from the fleet's JSON.
#pragma once

#include <string>

namespace snmphelper::cli {

// The page with `fleetJson` (what /api/fleet serves) inside, so that its
// first drawing needs no further request; it then refreshes from /api/fleet.
std::string DashboardPage(const std::string &fleetJson);

}  // namespace snmphelper::cli
