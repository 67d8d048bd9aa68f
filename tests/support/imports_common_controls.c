/* A program that imports from a library Windows does not count among its
   known system libraries (the common controls): the import check must refuse
   it, since Windows would look for that library beside it first. */
#include <windows.h>
#include <commctrl.h>

int main(void) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    return InitCommonControlsEx(&controls) ? 0 : 1;
}
