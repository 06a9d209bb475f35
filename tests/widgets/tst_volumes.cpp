#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>
#include <cstdint>

#include "ui/app/TVolForm.h"

using pelkora::TVolForm;

namespace {

QSlider* sliderOf(TVolForm& form, const char* name) {
    return form.findChild<QSlider*>(name);
}

QList<int> announcedValues(const QSignalSpy& spy) {
    QList<int> values;
    for (const QList<QVariant>& call : spy) {
        values.append(call.at(0).toInt());
    }
    return values;
}

}  // namespace

class tst_volumes : public QObject {
    Q_OBJECT

  private slots:
    void layout();
    void programValuesAreClampedAndAnnouncedOnChange_data();
    void programValuesAreClampedAndAnnouncedOnChange();
    void operatorMovesInStepsOfTwo_data();
    void operatorMovesInStepsOfTwo();
    void greyedRegulatorsSayWhy();
};

void tst_volumes::layout() {
    TVolForm form;
    QCOMPARE(form.windowTitle(), QString("Volumes"));
    QVERIFY(form.windowFlags().testFlag(Qt::Tool));
    QCOMPARE(form.size(), QSize(115, 176));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    struct Expected {
        const char* name;
        QRect geometry;
    };
    for (const Expected& e : {Expected{"MikeVolume", QRect(17, 19, 29, 126)},
                              Expected{"LineVolume", QRect(60, 20, 29, 125)}}) {
        QSlider* slider = sliderOf(form, e.name);
        QVERIFY2(slider != nullptr, e.name);
        QCOMPARE(slider->geometry(), e.geometry);
        QCOMPARE(slider->orientation(), Qt::Vertical);
        QVERIFY(!slider->invertedAppearance());  // 0 at the bottom
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 65535);
        QCOMPARE(slider->singleStep(), 2);
        QCOMPARE(slider->pageStep(), 2);
        QCOMPARE(slider->value(), 0);
    }
    QStringList labels;
    for (QLabel* label : form.findChildren<QLabel*>()) {
        labels.append(QString("%1 %2,%3").arg(label->text()).arg(label->x()).arg(label->y()));
    }
    labels.sort();
    QCOMPARE(labels, (QStringList{"Line 64,152", "Mike 15,152"}));
}

void tst_volumes::programValuesAreClampedAndAnnouncedOnChange_data() {
    QTest::addColumn<QList<qint64>>("set");
    QTest::addColumn<QList<int>>("shown");
    QTest::addColumn<QList<int>>("announced");
    QTest::newRow("mixer value") << QList<qint64>{900} << QList<int>{900} << QList<int>{900};
    QTest::newRow("same again") << QList<qint64>{900, 900} << QList<int>{900, 900}
                                << QList<int>{900};
    QTest::newRow("odd values stay odd")
        << QList<qint64>{65535, 1} << QList<int>{65535, 1} << QList<int>{65535, 1};
    QTest::newRow("unchanged start") << QList<qint64>{0} << QList<int>{0} << QList<int>{};
    QTest::newRow("above the top") << QList<qint64>{70000, 65535, 1LL << 40}
                                   << QList<int>{65535, 65535, 65535} << QList<int>{65535};
    // −1, a line without a readable volume, shows as 0.
    QTest::newRow("below the bottom")
        << QList<qint64>{10, -1, -(1LL << 40)} << QList<int>{10, 0, 0} << QList<int>{10, 0};
}

void tst_volumes::programValuesAreClampedAndAnnouncedOnChange() {
    QFETCH(QList<qint64>, set);
    QFETCH(QList<int>, shown);
    QFETCH(QList<int>, announced);
    TVolForm form;
    QSignalSpy mike(&form, &TVolForm::mikeVolumeChanged);
    QSignalSpy line(&form, &TVolForm::lineVolumeChanged);
    for (qsizetype i = 0; i < set.size(); ++i) {
        form.setMikeVolume(set[i]);
        QCOMPARE(form.mikeVolume(), shown[i]);
        form.setLineVolume(set[i]);
        QCOMPARE(form.lineVolume(), shown[i]);
    }
    // Each announced before the setter returned, the two kept apart.
    QCOMPARE(announcedValues(mike), announced);
    QCOMPARE(announcedValues(line), announced);
}

void tst_volumes::operatorMovesInStepsOfTwo_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("dragTo");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QList<int>>("announced");
    const int drag = QAbstractSlider::SliderMove;
    QTest::newRow("key up") << 0 << int(QAbstractSlider::SliderSingleStepAdd) << 0 << 2
                            << QList<int>{2};
    QTest::newRow("page down") << 100 << int(QAbstractSlider::SliderPageStepSub) << 0 << 98
                               << QList<int>{98};
    // From an odd value the mixer gave, a step lands on the even one below.
    QTest::newRow("key down from odd")
        << 65535 << int(QAbstractSlider::SliderSingleStepSub) << 0 << 65532 << QList<int>{65532};
    QTest::newRow("end key") << 7 << int(QAbstractSlider::SliderToMaximum) << 0 << 65534
                             << QList<int>{65534};
    QTest::newRow("drag to odd") << 0 << drag << 1001 << 1000 << QList<int>{1000};
    QTest::newRow("drag to even") << 0 << drag << 1002 << 1002 << QList<int>{1002};
    // Snapping back onto the value it had is no change.
    QTest::newRow("drag a hair") << 1000 << drag << 1001 << 1000 << QList<int>{};
}

void tst_volumes::operatorMovesInStepsOfTwo() {
    QFETCH(int, start);
    QFETCH(int, action);
    QFETCH(int, dragTo);
    QFETCH(int, shown);
    QFETCH(QList<int>, announced);
    TVolForm form;
    for (const char* name : {"MikeVolume", "LineVolume"}) {
        QSlider* slider = sliderOf(form, name);
        QVERIFY(slider != nullptr);
        const bool mike = QByteArray(name) == "MikeVolume";
        mike ? form.setMikeVolume(start) : form.setLineVolume(start);
        QSignalSpy spy(&form, mike ? &TVolForm::mikeVolumeChanged : &TVolForm::lineVolumeChanged);
        if (action == QAbstractSlider::SliderMove) {
            slider->setSliderPosition(dragTo);  // as a drag moves it
        } else {
            slider->triggerAction(static_cast<QAbstractSlider::SliderAction>(action));
        }
        QCOMPARE(slider->value(), shown);
        QCOMPARE(announcedValues(spy), announced);
    }
}

void tst_volumes::greyedRegulatorsSayWhy() {
    TVolForm form;
    QSignalSpy closed(&form, &TVolForm::closedByUser);
    form.setRegulatorsEnabled(false);
    for (const char* name : {"MikeVolume", "LineVolume"}) {
        QVERIFY(!sliderOf(form, name)->isEnabled());
        QCOMPARE(sliderOf(form, name)->toolTip(), QString("Needs the sound mixer"));
    }
    form.setRegulatorsEnabled(true);
    QVERIFY(sliderOf(form, "LineVolume")->isEnabled());
    QVERIFY(sliderOf(form, "LineVolume")->toolTip().isEmpty());
    form.show();
    form.close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(tst_volumes)
#include "tst_volumes.moc"
