#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace vistrel::test {

// Drops `perMille` of the UDP datagrams for `port` at random where they
// arrive from the simulated headset over `link` (an nftables rule; root), as a
// radio link loses them: the sender never notices. In a table of its own, named after the port, so
// that parallel runs keep apart; removed at the end of the scope.
class DatagramLoss {
public:
    DatagramLoss(const std::string& link, std::uint16_t port, int perMille)
        : table_("vistrel_loss_" + std::to_string(port)) {
        const std::string rules = "table inet " + table_ + " {\n chain arriving {\n" +
                                  "  type filter hook prerouting priority raw\n  iifname \"" +
                                  link + "\" udp dport " + std::to_string(port) +
                                  " numgen random mod 1000 < " + std::to_string(perMille) +
                                  " drop\n }\n}\n";
        const ProcessResult added = runProcess({"nft", "-f", "-"}, rules);
        EXPECT_EQ(added.exitStatus, 0) << added.err;
    }
    ~DatagramLoss() { runProcess({"nft", "delete", "table", "inet", table_}); }
    DatagramLoss(const DatagramLoss&) = delete;
    DatagramLoss& operator=(const DatagramLoss&) = delete;

private:
    std::string table_;
};

} // namespace vistrel::test
