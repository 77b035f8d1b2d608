// The Qt back end shows texts literally, as Windows does: a message box or a label whose text
// holds tags shows the tags, never bold or a link.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "platform/Toolkit.h"
#include "platform/Widgets.h"

namespace {

TEST(QtPlainText, MessageBoxesAndLabelsNeverInterpretTags) {
    const auto toolkit = platform::createNativeToolkit();
    const auto widgets = platform::createNativeWidgets();
    const std::u16string tagged = u"<b>Відмова</b> <a href=\"x\">тут</a>";

    Qt::TextFormat boxFormat = Qt::AutoText;
    QString boxText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        boxFormat = box->textFormat();
        boxText = box->text();
        box->accept();
    });
    toolkit->showMessage(platform::kNoWindow, u"Orvelle Downloader", tagged);
    EXPECT_EQ(boxFormat, Qt::PlainText);
    EXPECT_EQ(boxText.toStdU16String(), tagged);

    platform::FormOptions options;
    options.caption = u"Orvelle plain text test";
    options.clientWidth = 300;
    options.clientHeight = 60;
    const auto form = widgets->createForm(options);
    const auto label = widgets->createLabel(*form, 8, 8, tagged, -11);
    const auto* qlabel = reinterpret_cast<QLabel*>(label->handle());
    EXPECT_EQ(qlabel->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), tagged);
}

}  // namespace
