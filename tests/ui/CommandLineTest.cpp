// What the command line asks for, with Qt's own options passed through.
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

using CommandLine::Action;

TEST(CommandLine, ReadsTheAddressPastQtsOwnOptions) {
    struct Row {
        QStringList arguments;
        Action action;
        QString address;
    };
    for (const Row& row : std::vector<Row>{
             {{}, Action::Run, {}},
             {{"192.168.4.10"}, Action::Run, "192.168.4.10"},
             {{"-platform", "xcb", "192.168.4.10", "--style=Fusion", "-reverse"},
              Action::Run,
              "192.168.4.10"},
             {{"--qwindowgeometry", "800x600", "-h"}, Action::Help, {}},
             {{"-v"}, Action::Version, {}},
             {{"-reverse=1"}, Action::Invalid, {}},
             {{"--", "-1.2.3.4"}, Action::Run, "-1.2.3.4"},
             {{"--stream", "192.168.4.10"}, Action::Invalid, {}},
         }) {
        const CommandLine::Request request =
            CommandLine::parse(QStringList{"vistrel"} + row.arguments);
        EXPECT_EQ(request.action, row.action) << row.arguments.join(' ').toStdString();
        EXPECT_EQ(request.address, row.address) << row.arguments.join(' ').toStdString();
        EXPECT_EQ(request.problem.isEmpty(), row.action != Action::Invalid);
    }
}

} // namespace
} // namespace vistrel
