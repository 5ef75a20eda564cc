#pragma once

#include <array>

class QAbstractButton;
class QWidget;
class QLabel;
class QLineEdit;

namespace telvane::query {

// The Main window's controls that the query and entry modes work on, by role. The window owns them.
struct MainControls
{
    QAbstractButton* queryButton = nullptr; // 查询按钮
    QAbstractButton* entryButton = nullptr; // 输入按钮
    QAbstractButton* gridButton = nullptr; // 表格按钮
    QAbstractButton* saveButton = nullptr; // 确定按钮
    QAbstractButton* previousButton = nullptr; // 上翻页按钮
    QAbstractButton* nextButton = nullptr; // 下翻页按钮
    QLineEdit* queryBox = nullptr; // 查询框
    QLabel* queryCaption = nullptr; // 说明标签6
    QLabel* countLabel = nullptr; // 数量标签
    QLabel* pageLabel = nullptr; // 页数标签
    // The seven record boxes in field order: 姓名框 单位框 备注框 办公框 家里框 手机框 小灵通框.
    std::array<QLineEdit*, 7> fieldBoxes {};
    // 标签表1 .. 标签表5.
    std::array<QLabel*, 5> rows {};
};

} // namespace telvane::query
