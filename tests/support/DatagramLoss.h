#pragma once

#include "ChildProcess.h"

#include <gtest/gtest.h>

namespace vistrel::test {

// Drops `perMille` of the UDP datagrams for `port` arriving over `link` at
// random, as a radio link loses them, the sender none the wiser: an nftables
// table (root) named after the port, so that parallel runs keep apart.
class DatagramLoss {
public:
    DatagramLoss(const std::string& link, std::uint16_t port, int perMille)
        : table_("vistrel_loss_" + std::to_string(port)) {
        const ProcessResult added = runProcess(
            {"nft", "-f", "-"},
            "table inet " + table_ + " { chain arriving { type filter hook prerouting priority " +
                "raw; iifname \"" + link + "\" udp dport " + std::to_string(port) +
                " numgen random mod 1000 < " + std::to_string(perMille) + " drop; }; }\n");
        EXPECT_EQ(added.exitStatus, 0) << added.err;
    }
    ~DatagramLoss() { runProcess({"nft", "delete", "table", "inet", table_}); }
    DatagramLoss(const DatagramLoss&) = delete;
    DatagramLoss& operator=(const DatagramLoss&) = delete;

private:
    std::string table_;
};

} // namespace vistrel::test
