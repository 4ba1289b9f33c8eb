#include "res/MenuTemplates.h"

#include "res/resource.h"

namespace res {
namespace {

constexpr MenuItemTemplate kMenuList0[] = {
    {ID_ADD_WORKDIR, "增加工作目录"},
    {ID_DELETE_WORKDIR, "删除工作目录"},
};
constexpr MenuItemTemplate kMenuList1[] = {
    {ID_NEWFOLDER1, "新建文件夹"},
    {ID_DELETE1, "删除"},
    {ID_RENAME1, "重命名"},
};
// In column 2 the delete command's id is the larger one.
constexpr MenuItemTemplate kMenuList2[] = {
    {ID_NEWFOLDER2, "新建文件夹"},
    {ID_DELETE2, "删除"},
    {ID_RENAME2, "重命名"},
};
constexpr MenuItemTemplate kMenuList3[] = {
    {ID_NEWFOLDER3, "新建文件夹"},
    {ID_DELETE3, "删除"},
    {ID_RENAME3, "重命名"},
};
constexpr MenuItemTemplate kMenuList4[] = {
    {ID_NEWFOLDER4, "新建文件夹"},
    {ID_DELETE4, "删除"},
    {ID_RENAME4, "重命名"},
};

constexpr SubMenuTemplate kColumnMenus[] = {
    {"menuList0", kMenuList0}, {"menuList1", kMenuList1}, {"menuList2", kMenuList2},
    {"menuList3", kMenuList3}, {"menuList4", kMenuList4},
};

} // namespace

std::span<const SubMenuTemplate> columnMenus() {
    return kColumnMenus;
}

} // namespace res
