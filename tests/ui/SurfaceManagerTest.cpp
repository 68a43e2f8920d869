// The surface manager and the progress and message surfaces, on plain widgets.

#include "UiTestSupport.h"

#include "ui/Animation.h"
#include "ui/SurfaceManager.h"

#include <QLabel>
#include <QTest>
#include <QWidget>

using namespace gw;

namespace {

// A 230 x 230 host with two surfaces with a button, one without, and the shared bar.
struct THost {
    QWidget window;
    QWidget* bar = new QWidget(&window);
    QLabel* caption = new QLabel(bar);
    QWidget* layA = new QWidget(&window);
    QWidget* layB = new QWidget(&window);
    QWidget* layPlain = new QWidget(&window);
    bool allowDrop = false;
    int dropSwitches = 0;
    TSurface a{layA, false, true, QStringLiteral("Cancel")};
    TSurface b{layB, false, true, QStringLiteral("OK")};
    TSurface plain{layPlain, true, false, QString()};
    TSurfaceManager manager{bar, caption, [this](bool value) {
                                allowDrop = value;
                                ++dropSwitches;
                            }};

    THost() {
        window.resize(230, 230);
        bar->setGeometry(0, 230, 230, 25);
        for (QWidget* layout : {layA, layB, layPlain})
            layout->setGeometry(230, 0, 230, 230);
    }
    // Lets every running slide reach its end.
    void Settle(float seconds) { QTest::qWait(static_cast<int>(seconds * 1000) + 150); }
};

} // namespace

class SurfaceManagerTest : public QObject {
    Q_OBJECT
private slots:
    void NewManagerHasNoSurfaceAndDefaultSpeed() {
        THost host;
        QCOMPARE(host.manager.Current(), nullptr);
        QCOMPARE(host.manager.AnimationSpeed(), 0.3f);
    }

    void FirstSurfaceAndItsBarAppearWithoutSliding() {
        THost host;
        host.manager.ChangeTo(&host.a);
        QCOMPARE(host.layA->pos(), QPoint(0, 0));
        QCOMPARE(host.bar->pos(), QPoint(0, 205));
        QCOMPARE(host.caption->text(), QStringLiteral("Cancel"));
        QVERIFY(!IsAnimating(host.layA, "pos"));
    }

    void ChangeToCurrentSurfaceDoesNothing() {
        THost host;
        int shown = 0;
        host.a.SetOnBeforeShow([&shown] { ++shown; });
        host.manager.ChangeTo(&host.a);
        host.manager.ChangeTo(&host.a);
        QCOMPARE(shown, 1);
        QCOMPARE(host.dropSwitches, 1);
        QVERIFY(!IsAnimating(host.layA, "pos"));
    }

    void SlideMovesOldLeftAndNewIn() {
        THost host;
        host.manager.SetAnimationSpeed(0.05f);
        host.manager.ChangeTo(&host.a);
        host.manager.ChangeTo(&host.plain);
        // The new surface starts off-screen at the right and the old one starts from where it is.
        QVERIFY(host.layPlain->x() > 0);
        QVERIFY(IsAnimating(host.layA, "pos"));
        QVERIFY(host.allowDrop);
        host.Settle(0.05f);
        QCOMPARE(host.layA->pos(), QPoint(-280, 0));
        QCOMPARE(host.layPlain->pos(), QPoint(0, 0));
        // From a surface with a button to one without: the bar goes down and stays there.
        QCOMPARE(host.bar->pos(), QPoint(0, 230));
    }

    void BarDropsAndComesBackWithNewCaption() {
        THost host;
        host.manager.SetAnimationSpeed(0.05f);
        host.manager.ChangeTo(&host.a);
        host.manager.ChangeTo(&host.b);
        QCOMPARE(host.bar->pos(), QPoint(0, 230));
        QCOMPARE(host.caption->text(), QStringLiteral("OK"));
        QVERIFY(!host.allowDrop);
        host.Settle(0.05f);
        QCOMPARE(host.bar->pos(), QPoint(0, 205));
        QCOMPARE(host.layB->pos(), QPoint(0, 0));
    }

    void SpeedZeroGoesStraightToTheEnd() {
        THost host;
        host.manager.SetAnimationSpeed(0.0f);
        host.manager.ChangeTo(&host.a);
        host.manager.ChangeTo(&host.b);
        QCOMPARE(host.layA->pos(), QPoint(-280, 0));
        QCOMPARE(host.layB->pos(), QPoint(0, 0));
        QCOMPARE(host.bar->pos(), QPoint(0, 205));
    }

    void SecondChangeDuringSlideStartsFromCurrentPlace() {
        THost host;
        host.manager.SetAnimationSpeed(0.4f);
        host.manager.ChangeTo(&host.a);
        host.manager.ChangeTo(&host.b);
        QTRY_VERIFY(host.layB->x() < 200);
        host.manager.ChangeTo(&host.a);
        // B leaves from where it was; A, which was leaving, is placed at the right and comes back.
        QVERIFY(host.layB->x() < 200 && host.layB->x() > -280);
        QCOMPARE(host.layA->x(), 230);
        host.Settle(0.4f);
        QCOMPARE(host.layA->pos(), QPoint(0, 0));
        QCOMPARE(host.layB->pos(), QPoint(-280, 0));
    }

    void HooksRunInOrder() {
        THost host;
        QStringList calls;
        struct TRecorded : TSurface {
            QStringList* Calls;
            TRecorded(QWidget* layout, QStringList* calls)
                : TSurface(layout, false, false, {}), Calls(calls) {}
            void BeforeShow() override { Calls->append(QStringLiteral("BeforeShow")); }
            void AfterHide() override { Calls->append(QStringLiteral("AfterHide")); }
        } recorded(host.layPlain, &calls);
        recorded.SetOnBeforeShow([&calls] { calls.append(QStringLiteral("OnBeforeShow")); });
        host.manager.ChangeTo(&recorded);
        host.manager.ChangeTo(&host.a);
        QCOMPARE(calls, (QStringList{"BeforeShow", "OnBeforeShow", "AfterHide"}));
    }

    void ProgressClamps_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("barWidth");
        QTest::newRow("below zero") << -5 << "0%" << 0;
        QTest::newRow("zero") << 0 << "0%" << 0;
        QTest::newRow("one third") << 33 << "33%" << 66;
        QTest::newRow("full") << 100 << "100%" << 200;
        QTest::newRow("above full") << 150 << "100%" << 200;
        QTest::newRow("most negative") << std::numeric_limits<int>::min() << "0%" << 0;
    }
    void ProgressClamps() {
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(int, barWidth);
        QWidget layout;
        QWidget bar(&layout);
        bar.setGeometry(16, 74, 50, 2);
        QLabel label(&layout);
        TProgressSurface surface(&layout, &bar, &label);
        surface.SetProgress(value);
        QCOMPARE(label.text(), text);
        QCOMPARE(bar.width(), barWidth);
        QCOMPARE(bar.height(), 2);
        QCOMPARE(surface.Progress(), std::clamp(value, 0, 100));
    }

    void MessageTypeShowsOneImage() {
        QWidget layout;
        QLabel text(&layout);
        QWidget success(&layout);
        QWidget error(&layout);
        layout.show();
        TMessageSurface surface(&layout, &text, &success, &error);
        surface.SetMessageType(TMessageType::mtFailure);
        surface.SetMessage(QStringLiteral("Error while saving the file!"));
        QVERIFY(error.isVisible() && !success.isVisible());
        QCOMPARE(text.text(), QStringLiteral("Error while saving the file!"));
        surface.SetMessageType(TMessageType::mtSuccess);
        QVERIFY(success.isVisible() && !error.isVisible());
        QCOMPARE(surface.ButtonText(), QStringLiteral("OK"));
    }
};

QTEST_MAIN(SurfaceManagerTest)
#include "SurfaceManagerTest.moc"
