// ImageButton: its size, its four pictures, clicks by mouse and keyboard.
#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

#include "wizard/image_button.h"

using vcq::ui::ImageButton;

class ImageButtonTest : public QObject {
    Q_OBJECT
  private slots:
    void picturesAre19PixelsAndDifferPerState() {
        ImageButton button("NEXT");
        QCOMPARE(button.size(), QSize(19, 19));
        QCOMPARE(button.accessibleName(), QString("NEXT"));
        QList<QImage> seen;
        for (auto state : {ImageButton::State::Up, ImageButton::State::Down,
                           ImageButton::State::Focused, ImageButton::State::Disabled}) {
            const QImage image = button.Picture(state).toImage();
            QCOMPARE(image.size(), QSize(19, 19));
            QVERIFY(!seen.contains(image));
            seen << image;
        }
        // PREV and NEXT are told apart.
        ImageButton prev("PREV");
        QVERIFY(prev.Picture(ImageButton::State::Up).toImage() !=
                button.Picture(ImageButton::State::Up).toImage());
    }

    void stateFollowsTheButtonAndPaletteChangesRedraw() {
        QWidget window;
        auto* button = new ImageButton("PREV", &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        button->clearFocus();
        QCOMPARE(button->CurrentState(), ImageButton::State::Up);
        button->setFocus();
        QApplication::setActiveWindow(&window);
        QTRY_COMPARE(button->CurrentState(), ImageButton::State::Focused);
        button->setDown(true);
        QCOMPARE(button->CurrentState(), ImageButton::State::Down);
        button->setDown(false);
        button->setEnabled(false);
        QCOMPARE(button->CurrentState(), ImageButton::State::Disabled);

        const QImage before = button->Picture(ImageButton::State::Up).toImage();
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, QColor(200, 100, 50));
        button->setPalette(palette);
        QVERIFY(button->Picture(ImageButton::State::Up).toImage() != before);
    }

    void doubleClickCountsTwiceAndSpaceClicks() {
        QWidget window;
        auto* button = new ImageButton("NEXT", &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicks(button, &QPushButton::clicked);
        // What the system sends for a double-click: press, release,
        // double-click, release.
        QTest::mousePress(button, Qt::LeftButton);
        QTest::mouseRelease(button, Qt::LeftButton);
        QTest::mouseDClick(button, Qt::LeftButton);
        QVERIFY(button->isDown());
        QTest::mouseRelease(button, Qt::LeftButton);
        QVERIFY(!button->isDown());
        QCOMPARE(clicks.count(), 2);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        QCOMPARE(clicks.count(), 3);
    }
};

QTEST_MAIN(ImageButtonTest)
#include "image_button_test.moc"
