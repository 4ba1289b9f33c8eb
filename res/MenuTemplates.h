#pragma once

#include <span>

// Menu 130: the context menus of the five browser columns, sub-menu k for column k.
namespace res {

struct MenuItemTemplate {
    int command;
    const char* text;
};

struct SubMenuTemplate {
    const char* name;
    std::span<const MenuItemTemplate> items;
};

std::span<const SubMenuTemplate> columnMenus();

} // namespace res
