// The start's lock: a running copy ends a second start quietly, a lock left
// by a copy that no longer runs is taken over, and a lock that cannot be made
// is shown in an error box that names the lock file and the reason.
#include "app/onecopy.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>

#include "../dialogs/modal.h"
#include "dialogs/form08.h"
#include "qt_app.h"
#include "tempfolder.h"
#include "unblocking_fifo.h"

using namespace tessaly;

namespace {

struct StartBoxes {
    AppInfo app;
    Theme theme;
    Boxes boxes{app, theme};
    int status = -1;
};

}  // namespace

TEST(OneCopy, RunningCopyEndsTheStartQuietly) {
    const test::TempFolder dir;
    const std::string path = dir.file("tessaly.lock");
    SingleInstance first(path);
    StartBoxes s;
    ASSERT_TRUE(may_start(first, s.boxes, s.status));
    SingleInstance second(path);
    EXPECT_FALSE(may_start(second, s.boxes, s.status));  // a box would fail: nobody closes it
    EXPECT_EQ(s.status, 0);
}

TEST(OneCopy, LockLeftByACopyThatDiedIsTakenAndTheStartGoesOn) {
    const test::TempFolder dir;
    const std::string path = dir.file("tessaly.lock");
    QFile left(QString::fromStdString(path));
    ASSERT_TRUE(left.open(QIODevice::WriteOnly));  // made, never written
    left.close();
    SingleInstance instance(path), second(path);
    StartBoxes s;
    tessaly::testing::while_each_shown({}, [&] {  // no box at all
        EXPECT_TRUE(may_start(instance, s.boxes, s.status));
        EXPECT_EQ(s.status, -1);
        EXPECT_FALSE(may_start(second, s.boxes, s.status));  // the lock is ours now
        EXPECT_EQ(s.status, 0);
    });
}

TEST(OneCopy, LockThatCannotBeTakenIsShownAndEndsWithAnError) {
    const test::TempFolder dir;
    const std::string& folder = dir.path();
    const test::UnblockingFifo fifo(folder + "/fifo.lock");  // its start must not wait
    ASSERT_TRUE(fifo.made());
    const struct { const char* name; std::string path; const char* reason; } cases[] = {
        {"its folder missing", folder + "/missing/tessaly.lock", "No such file or directory"},
        {"a FIFO in its place", folder + "/fifo.lock", "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SingleInstance instance(c.path);
        StartBoxes s;
        std::string text;
        const bool go_on = tessaly::testing::while_shown(
            [&](QDialog* box) {
                auto* f = qobject_cast<Form08*>(box);
                ASSERT_NE(f, nullptr);
                text = f->lab_title->text().toStdString();
                box->reject();
            },
            [&] { return may_start(instance, s.boxes, s.status); });
        EXPECT_FALSE(go_on);
        EXPECT_EQ(s.status, 1);
        EXPECT_NE(text.find(c.path), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
}
