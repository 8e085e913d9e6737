// The machine origin page against the controller simulator: Get shows the
// controller's encoders and origin, Set writes the edited values as the home
// encoders, an unreachable controller shows zeros, and Set refuses to send
// while any field is not a 32-bit integer.
#include "ConfigWidget_MachineOrigin.h"
#include "GuiTestSupport.h"
#include "SimModel.h"
#include "SimProcess.h"
#include "VX_Ports.h"
#include "VX_Prod.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <climits>
#include <optional>

using vxtest::child;
using vxtest::MessageBoxCatcher;

namespace {

using Six = std::array<int, 6>;

// Loopback addresses of this suite (127.0.4.10 .. 127.0.4.29).
const char* const kGetAddress = "127.0.4.10";
const char* const kSetAddress = "127.0.4.11";
const char* const kZerosAddress = "127.0.4.12";
const char* const kUnreachableAddress = "127.0.4.13";
const char* const kRefuseAddress = "127.0.4.14";
const char* const kGoneAddress = "127.0.4.15";

std::string homeOption(const Six& v)
{
    return QString("%1,%2,%3,%4,%5,%6").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]).arg(v[4]).arg(v[5]).toStdString();
}

// The page with its widgets looked up by their object names.
struct OriginPage
{
    OriginPage()
    {
        for (int axis = 0; axis < 6; ++axis)
            edits[axis] = child<QLineEdit>(&page, QString("le_CurEncode_J%1").arg(axis + 1).toLatin1().constData());
        origin[0] = child<QLabel>(&page, "lb_homeEncodeValue");
        origin[1] = child<QLabel>(&page, "lb_homeEncodeValue2");
        origin[2] = child<QLabel>(&page, "lb_homeEncodeValue3");
        get = child<QPushButton>(&page, "btn_GetHomeEndat");
        set = child<QPushButton>(&page, "btn_SetHomeEndat");
    }

    bool complete() const
    {
        for (auto* e : edits)
            if (!e)
                return false;
        return origin[0] && origin[1] && origin[2] && get && set;
    }

    QStringList editTexts() const
    {
        QStringList texts;
        for (auto* e : edits)
            texts << e->text();
        return texts;
    }

    QStringList originTexts() const { return {origin[0]->text(), origin[1]->text(), origin[2]->text()}; }

    void type(const QStringList& texts)
    {
        for (int axis = 0; axis < 6; ++axis)
            edits[axis]->setText(texts[axis]);
    }

    ConfigWidget_MachineOrigin page;
    std::array<QLineEdit*, 6> edits{};
    std::array<QLabel*, 3> origin{};
    QPushButton* get = nullptr;
    QPushButton* set = nullptr;
};

QStringList pairs(const Six& v)
{
    return {QString("%1,%2").arg(v[0]).arg(v[1]), QString("%1,%2").arg(v[2]).arg(v[3]),
            QString("%1,%2").arg(v[4]).arg(v[5])};
}

std::optional<Six> readOrigin()
{
    Six v{};
    if (VXRPC_ReadMachineOrigin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 0)
        return std::nullopt;
    return v;
}

} // namespace

TEST(MachineOriginPage, GetShowsTheControllersEncodersAndOrigin)
{
    const Six home = {10, -20, 30, 40, 50, 60};
    QElapsedTimer sinceStart;
    sinceStart.start();
    vxtest::SimProcess sim(kGetAddress, {"--home", homeOption(home)});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kGetAddress, vx::kRpcPort, vx::kCommandPort);

    OriginPage p;
    ASSERT_TRUE(p.complete());
    MessageBoxCatcher boxes;
    p.get->click();
    const qint64 window = sinceStart.elapsed() + 1000;

    Six shown{};
    for (int axis = 0; axis < 6; ++axis) {
        bool ok = false;
        shown[axis] = p.edits[axis]->text().toInt(&ok);
        ASSERT_TRUE(ok) << p.edits[axis]->text().toStdString();
    }
    // The simulated arm moves, so the shown values must be its encoder
    // counts at one millisecond since the simulator started.
    bool matched = false;
    for (qint64 k = 0; k <= window && !matched; ++k) {
        const auto counts = zps::encoderCounts(zps::actualJoints(k / 1000.0).q);
        matched = std::equal(counts.begin(), counts.end(), shown.begin());
    }
    EXPECT_TRUE(matched) << p.editTexts().join(" ").toStdString();
    EXPECT_EQ(p.originTexts(), pairs(home)) << "Get refreshes the origin too";
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST(MachineOriginPage, SetWritesTheEditedValuesAsTheHome)
{
    vxtest::SimProcess sim(kSetAddress, {"--home", "1,2,3,4,5,6"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kSetAddress, vx::kRpcPort, vx::kCommandPort);
    OriginPage p;
    ASSERT_TRUE(p.complete());
    MessageBoxCatcher boxes;

    struct Case { QStringList typed; Six expected; } cases[] = {
        {{"10", "-20", "30", "40", "50", "60"}, {10, -20, 30, 40, 50, 60}},
        {{"-2147483648", "2147483647", "0", "-1", "+7", "1048576"}, {INT_MIN, INT_MAX, 0, -1, 7, 1048576}},
    };
    for (const auto& c : cases) {
        p.type(c.typed);
        p.set->click();
        const auto origin = readOrigin();
        ASSERT_TRUE(origin.has_value());
        EXPECT_EQ(*origin, c.expected) << c.typed.join(" ").toStdString();
        EXPECT_EQ(p.originTexts(), pairs(c.expected));
        EXPECT_EQ(p.editTexts(), c.typed) << "Set leaves the fields as typed";
    }
    EXPECT_EQ(p.originTexts(), QStringList({"-2147483648,2147483647", "0,-1", "7,1048576"}));
    EXPECT_TRUE(boxes.boxes().empty()) << "Set asks nothing and reports nothing";
}

TEST(MachineOriginPage, SetRightAfterStartSendsSixZeros)
{
    vxtest::SimProcess sim(kZerosAddress, {"--home", "11,22,33,44,55,66"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kZerosAddress, vx::kRpcPort, vx::kCommandPort);
    OriginPage p;
    ASSERT_TRUE(p.complete());
    p.set->click();
    EXPECT_EQ(readOrigin(), std::optional<Six>(Six{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.originTexts(), QStringList({"0,0", "0,0", "0,0"}));
}

TEST(MachineOriginPage, UnreachableControllerShowsZeros)
{
    OriginPage p;
    ASSERT_TRUE(p.complete());
    MessageBoxCatcher boxes;
    {
        vxtest::SimProcess sim(kGoneAddress, {"--home", "7,8,9,10,11,12"});
        ASSERT_TRUE(sim.ok()) << sim.error();
        VXRPC_InitClient(kGoneAddress, vx::kRpcPort, vx::kCommandPort);
        p.get->click();
        ASSERT_EQ(p.originTexts(), pairs({7, 8, 9, 10, 11, 12}));
        ASSERT_NE(p.editTexts(), QStringList({"0", "0", "0", "0", "0", "0"}));
    }
    // The simulator is gone: both buttons fall back to zeros, silently.
    p.get->click();
    EXPECT_EQ(p.editTexts(), QStringList({"0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(p.originTexts(), QStringList({"0,0", "0,0", "0,0"}));

    VXRPC_InitClient(kUnreachableAddress, vx::kRpcPort, vx::kCommandPort);
    p.type({"1", "2", "3", "4", "5", "6"});
    p.origin[0]->setText("stale");
    p.set->click();
    EXPECT_EQ(p.originTexts(), QStringList({"0,0", "0,0", "0,0"}));
    p.get->click();
    EXPECT_EQ(p.editTexts(), QStringList({"0", "0", "0", "0", "0", "0"}));
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST(MachineOriginPage, SetRefusesFieldsThatAreNotIntegers)
{
    const Six home = {101, 102, 103, 104, 105, 106};
    vxtest::SimProcess sim(kRefuseAddress, {"--home", homeOption(home)});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kRefuseAddress, vx::kRpcPort, vx::kCommandPort);
    OriginPage p;
    ASSERT_TRUE(p.complete());

    struct Case { int axis; QString text; } cases[] = {
        {0, "abc"}, {1, ""}, {2, "12.5"}, {3, "2147483648"}, {4, "-2147483649"},
        {5, "1e3"}, {0, "0x10"}, {1, "12abc"}, {2, "-"},
    };
    for (const auto& c : cases) {
        QStringList typed = {"1", "2", "3", "4", "5", "6"};
        typed[c.axis] = c.text;
        p.type(typed);
        p.origin[0]->setText("untouched");
        MessageBoxCatcher boxes;
        p.set->click();
        const std::string what = QString("Axis%1 = '%2'").arg(c.axis + 1).arg(c.text).toStdString();
        ASSERT_EQ(boxes.boxes().size(), 1u) << what;
        const auto& box = boxes.boxes().front();
        EXPECT_EQ(box.title, "Warning") << what;
        EXPECT_EQ(box.icon, QMessageBox::Warning) << what;
        EXPECT_TRUE(box.text.startsWith("ERROR:")) << box.text.toStdString();
        for (int axis = 0; axis < 6; ++axis)
            EXPECT_EQ(box.text.contains(QString("Axis%1").arg(axis + 1)), axis == c.axis)
                << what << ": " << box.text.toStdString();
        EXPECT_EQ(readOrigin(), std::optional<Six>(home)) << "nothing may be sent: " << what;
        EXPECT_EQ(p.origin[0]->text(), "untouched") << what;
        EXPECT_EQ(p.editTexts(), typed) << "the fields keep what was typed";
    }

    // Several bad fields are named together.
    p.type({"x", "2", "3", "", "5", "6.0"});
    MessageBoxCatcher boxes;
    p.set->click();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    const QString text = boxes.boxes().front().text;
    EXPECT_TRUE(text.contains("Axis1") && text.contains("Axis4") && text.contains("Axis6")) << text.toStdString();
    EXPECT_FALSE(text.contains("Axis2") || text.contains("Axis3") || text.contains("Axis5")) << text.toStdString();
    EXPECT_EQ(readOrigin(), std::optional<Six>(home));

    // Once corrected, Set goes through.
    p.type({"1", "2", "3", "4", "5", "6"});
    MessageBoxCatcher none;
    p.set->click();
    EXPECT_TRUE(none.boxes().empty());
    EXPECT_EQ(readOrigin(), std::optional<Six>(Six{1, 2, 3, 4, 5, 6}));
}
