// SPDX-License-Identifier: Apache-2.0
// `snmphelper ipx` on Windows: IPX is the system's own, reached through the
// WinSock library the library binds at run time; the command says whether
// that WinSock opens IPX datagram sockets here.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/cli/commands.h"
#include "transport/ipx_transport.h"
#include "transport/winsock_binding.h"

namespace snmphelper::cli {
namespace {

int RunIpx(bool json) {
    WinsockBinding binding{};
    binding.Load();
    winsock::WSADATA startup{};
    int error = 0;
    bool usable = false;
    if (binding.WSAStartup(winsock::MakeVersion(1, 1), &startup) != 0) {
        error = binding.WSAGetLastError();
    } else {
        const winsock::SOCKET s = binding.socket(winsock::AF_IPX, winsock::SOCK_DGRAM, kIpxSnmpProtocol);
        usable = s != winsock::INVALID_SOCKET;
        if (usable) {
            binding.closesocket(s);
        } else {
            error = binding.WSAGetLastError();
        }
        binding.WSACleanup();
    }
    binding.Unload();
    if (json) {
        std::printf("{\"usable\":%s,\"winsockError\":%d}\n", usable ? "true" : "false", error);
    } else if (usable) {
        std::printf("IPX through WinSock  available\n");
    } else {
        std::printf("IPX through WinSock  not available (WinSock error %d%s)\n", error,
                    error == winsock::WSAEAFNOSUPPORT ? ": no IPX protocol installed" : "");
    }
    return usable ? 0 : 1;
}

}  // namespace

void AddIpxCommand(Command &app, int &exitCode) {
    auto json = std::make_shared<bool>(false);
    Command *command = app.add_subcommand("ipx", "Show whether the system's WinSock offers IPX");
    command->add_flag("--json", *json, "Print one JSON object");
    command->callback([json, &exitCode] { exitCode = RunIpx(*json); });
}

}  // namespace snmphelper::cli
