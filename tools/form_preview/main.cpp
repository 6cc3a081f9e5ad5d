// form_preview <directory>: loads each of the six windows as the program would and saves
// <directory>/<window>.png. The boxes get sample texts and the main window two rows and
// its update link, so that clipping and overlaps show.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <string_view>

#include "ui/qt_window_layer.h"

namespace {

using quillet::ui::QtWindowLayer;

QWidget* find_window(std::string_view name) {
    const QString wanted = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == wanted && w->isVisible()) return w;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: form_preview <directory>\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QtWindowLayer layer;
    QDir().mkpath(directory);
    int failures = 0;
    for (std::string_view name : {quillet::ui::kMainWindow, quillet::ui::kLoginWindow, quillet::ui::kSetupWindow,
                                  quillet::ui::kFtpWindow, quillet::ui::kRecordWindow,
                                  quillet::ui::kGeneratorWindow}) {
        layer.load_window(name);
        if (name == quillet::ui::kMainWindow) {
            layer.list_append_rows(name, "超级列表框1",
                                   {{"1", "网易邮箱", "zhang.san", "5F3A9C0E77B2", "mail.163.com", "备注"},
                                    {"2", "工商银行", "张三", "A0B1C2D3E4F5", "icbc.com.cn", ""}});
            layer.list_select_row(name, "超级列表框1", 0);
            layer.set_text(name, "编辑框_备注详情", "备注详情的内容");
            layer.set_visible(name, "透明标签1", true);
        } else if (name == quillet::ui::kFtpWindow) {
            layer.set_text(name, "编辑框_ftp地址", "192.168.1.10");
            layer.set_text(name, "编辑框_ftp端口", "21");
            layer.set_text(name, "编辑框_ftp账号", "zhangsan");
            layer.set_text(name, "编辑框_ftp密码", "mima123");
            layer.set_text(name, "编辑框_ftp路径", "/backup/quillet");
        } else if (name == quillet::ui::kRecordWindow) {
            layer.set_text(name, "编辑框_平台", "网易邮箱");
            layer.set_text(name, "编辑框_账号", "zhang.san");
            layer.set_text(name, "编辑框_密码", "Ab3#kL9q");
            layer.set_text(name, "编辑框_网址", "https://mail.163.com");
            layer.set_text(name, "编辑框_备注", "工作邮箱");
        } else if (name == quillet::ui::kGeneratorWindow) {
            layer.set_text(name, "编辑框_位数", "12");
            layer.set_text(name, "编辑框_结果", "Ab3#kL9qXz1!");
        } else {
            layer.type_text(name, name == quillet::ui::kLoginWindow ? "编辑框_登录密码" : "编辑框_设置登录密码",
                            "secret");
        }
        layer.wait_processing_events(200);  // let the window system map and paint it
        QWidget* window = find_window(name);
        const QString file = directory + QLatin1Char('/') + QString::fromLatin1(name.data(), name.size()) +
                             QStringLiteral(".png");
        if (!window || !window->grab().save(file)) {
            std::fprintf(stderr, "form_preview: could not save %s\n", file.toLocal8Bit().constData());
            ++failures;
        }
        layer.destroy_window(name);
    }
    return failures == 0 ? 0 : 1;
}
