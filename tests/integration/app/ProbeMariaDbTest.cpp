// MariaDB announces itself as "5.5.5-10.x...": the probe takes it for a version 5 server and
// start-up clears the MySQL option.
#include "app/Probe.h"
#include "app/Unit1.h"
#include "tests/fakes/FakeMessageToolkit.h"
#include "tests/fakes/FakeProgressDisplay.h"
#include "tests/fakes/FakeWidgets.h"
#include "tests/integration/mysql/MariaDbFixture.h"

namespace {

using ProbeAgainstMariaDb = MariaDbTest;

TEST_F(ProbeAgainstMariaDb, theAnonymousLoginIsAdmittedAndTheVersionCountsAs5) {
    const ProbeResult result = ProbeLocalMysql();
    EXPECT_EQ(result.outcome, ProbeOutcome::SupportedServer);
    EXPECT_EQ(u8(result.version).rfind("5.5.5-10.", 0), 0u) << u8(result.version);
}

TEST_F(ProbeAgainstMariaDb, startUpUnchecksTheMysqlOptionAndShowsTheWindow) {
    fakes::ProgressDisplayFakes display;
    fakes::FakeWidgets widgets;
    fakes::FakeMessageToolkit toolkit;
    std::vector<int> exitCodes;
    TForm1Environment environment;
    environment.probe = [] { return ProbeLocalMysql(); };
    environment.terminate = [&](int code) { exitCodes.push_back(code); };
    TForm1 form(widgets, toolkit, std::move(environment));
    EXPECT_FALSE(form.sql->checked());
    EXPECT_TRUE(form.sql->enabled());
    EXPECT_TRUE(toolkit.messages.empty());
    EXPECT_TRUE(exitCodes.empty());
}

}  // namespace
