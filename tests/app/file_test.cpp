// Choosing the firmware file: Enter in the name box, the open-file dialog, drops, and viewing
// the file's text.

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <cstdio>
#include <functional>

#include "app/app_fixture.h"

namespace ondo::app::testing {
namespace {

class FileChoice : public WindowTest {
  protected:
    void SetUp() override {
        good = writeFile("good.HXF", kGoodHxf);
        other = writeFile("other.HXF", "C:010001006698\r\n");
        load().show();
        box = child<QLineEdit>("tFlashFileName");
    }
    QString status() const { return child<QLabel>("labStat")->text(); }

    // Drags the data over the name box and drops it there; true when the box took it.
    bool drop(QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                           Qt::NoModifier);
        QApplication::sendEvent(box, &dropped);
        EXPECT_EQ(enter.isAccepted(), dropped.isAccepted());
        return dropped.isAccepted();
    }
    static void setFiles(QMimeData& data, std::initializer_list<std::string> paths) {
        QList<QUrl> urls;
        for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
        data.setUrls(urls);
    }

    std::string good;
    std::string other;
    QLineEdit* box = nullptr;
};

TEST_F(FileChoice, EnterReadsTheNamedFileAndGoesNoFurther) {
    QSignalSpy returned(box, &QLineEdit::returnPressed);
    QTest::keyClicks(box, QString::fromStdString(good));
    EXPECT_FALSE(form->image().FlashFileValid);  // typing alone reads nothing
    EXPECT_EQ(form->FlashFilePath, good);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(form->image().FlashFileValid);
    EXPECT_EQ(status(), "Read file OK (2 lines)");
    EXPECT_EQ(returned.count(), 0);  // the Enter was consumed
    EXPECT_EQ(box->text().toStdString(), good);
}

TEST_F(FileChoice, EnterWithAMissingFileSaysNoFile) {
    QTest::keyClicks(box, "missing.HXF");
    QTest::keyClick(box, Qt::Key_Enter);
    EXPECT_EQ(status(), "No File missing.HXF");
    EXPECT_FALSE(form->image().FlashFileValid);
}

TEST_F(FileChoice, CancelledDialogReadsTheBoxAgain) {
    box->setText(QString::fromStdString(good));
    EXPECT_FALSE(form->image().FlashFileValid);
    QTest::mouseClick(child<QPushButton>("btnFlashFile"), Qt::LeftButton);
    ASSERT_EQ(presets.size(), 1u);
    EXPECT_EQ(presets[0], good);  // the dialog starts at the name in the box
    EXPECT_EQ(box->text().toStdString(), good);
    EXPECT_TRUE(form->image().FlashFileValid);
}

TEST_F(FileChoice, CancelledDialogWithAnEmptyBoxSaysNoFile) {
    form->image().FlashFileValid = true;
    QTest::mouseClick(child<QPushButton>("btnFlashFile"), Qt::LeftButton);
    EXPECT_EQ(status(), "No File ");
    EXPECT_FALSE(form->image().FlashFileValid);
}

TEST_F(FileChoice, ChosenFileGoesIntoTheBoxAndIsRead) {
    box->setText("old.HXF");
    chosenFile = good;
    QTest::mouseClick(child<QPushButton>("btnFlashFile"), Qt::LeftButton);
    EXPECT_EQ(box->text().toStdString(), good);
    EXPECT_EQ(form->FlashFilePath, good);
    EXPECT_TRUE(form->image().FlashFileValid);
}

TEST_F(FileChoice, OneDroppedFileIsPutIntoTheBoxAndRead) {
    QMimeData data;
    setFiles(data, {good});
    EXPECT_TRUE(drop(data));
    EXPECT_EQ(box->text().toStdString(), good);
    EXPECT_TRUE(form->image().FlashFileValid);
    EXPECT_EQ(form->image().FlashImage[0], 0x55);
}

TEST_F(FileChoice, TwoDroppedFilesLeaveTheBoxEmptyAndTheImageAsItWas) {
    box->setText(QString::fromStdString(good));
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(form->image().FlashFileValid);
    QMimeData data;
    setFiles(data, {other, good});
    EXPECT_TRUE(drop(data));
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_TRUE(form->image().FlashFileValid);
    EXPECT_EQ(form->image().FlashImage[1], 0x00);  // other.HXF was not read
    EXPECT_EQ(status(), "Read file OK (2 lines)");
}

TEST_F(FileChoice, DroppedTextIsRefusedAndChangesNothing) {
    box->setText("keep.HXF");
    QMimeData data;
    data.setText(QString::fromStdString(good));
    EXPECT_FALSE(drop(data));
    EXPECT_EQ(box->text(), "keep.HXF");
    EXPECT_FALSE(form->image().FlashFileValid);
}

TEST_F(FileChoice, RemoteUrlsAreNoListOfFiles) {
    QMimeData data;
    data.setUrls({QUrl("https://example.com/a.HXF")});
    EXPECT_FALSE(drop(data));
    EXPECT_TRUE(box->text().isEmpty());
}

TEST_F(FileChoice, RevisionClickWithAMissingFileSaysNoFile) {
    box->setText("/no/such/file.HXF");
    form->logReplace("log stays");
    QTest::mouseClick(child<QLabel>("tRev"), Qt::LeftButton);
    EXPECT_EQ(status(), "No File /no/such/file.HXF");
    EXPECT_EQ(child<QLabel>("labStat")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(form->logText(), "log stays");
}

TEST_F(FileChoice, RevisionClickShowsTheFileTextAndKeepsTheImage) {
    box->setText(QString::fromStdString(good));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::mouseClick(child<QLabel>("tRev"), Qt::LeftButton);
    EXPECT_EQ(form->logText(), kGoodHxf);
    EXPECT_EQ(status(), "Reading flash file ...");
    EXPECT_TRUE(form->image().FlashFileValid);
}

// While a run owns the unit, no way of reading a file changes the image being programmed, the
// name box or the name stored at shut-down; each says why.
TEST_F(FileChoice, EveryReadIsRefusedWhileARunOwnsTheUnit) {
    box->setText(QString::fromStdString(good));
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(form->image().FlashFileValid);
    const std::uint8_t code = form->image().FlashImage[0];
    chosenFile = other;
    const std::pair<const char*, std::function<void()>> reads[] = {
        {"Enter", [&] { QTest::keyClick(box, Qt::Key_Return); }},
        {"dialog", [&] { form->btnFlashFile_Click(); }},
        {"drop",
         [&] {
             QMimeData data;
             setFiles(data, {other});
             drop(data);
         }},
    };
    const Link::RunClaim run(form->link());
    for (const auto& [name, read] : reads) {
        SCOPED_TRACE(name);
        form->status(Colour::Plain, "");
        read();
        EXPECT_TRUE(form->image().FlashFileValid);
        EXPECT_EQ(form->image().FlashImage[0], code);
        EXPECT_EQ(box->text().toStdString(), good);
        EXPECT_EQ(form->FlashFilePath, good);
        EXPECT_EQ(status(), "Flash file not read while flashing");
    }
    EXPECT_TRUE(presets.empty());  // the dialog was not even offered
}

// A name shows as the user chose it, whatever its characters, beside the unit's own bytes.
TEST_F(FileChoice, NonAsciiNameShowsAsTyped) {
    const QString name = QString::fromUtf8("Prüfung-€-файл.HXF");
    const std::string path = writeFile(name.toUtf8().constData(), kGoodHxf);
    box->setText(QString::fromStdString(path));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(form->image().FlashFileValid);
    EXPECT_TRUE(child<QPlainTextEdit>("tText")->toPlainText().contains(name));
    std::remove(path.c_str());
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(status(), "No File " + QString::fromStdString(path));
    EXPECT_TRUE(status().contains(name));
}

}  // namespace
}  // namespace ondo::app::testing
