// Names and control ids of the resources in setup.rc, shared by the resource
// script and the program code. Plain #defines only: the resource compiler
// reads this file too.
#ifndef VM_RES_RESOURCE_H
#define VM_RES_RESOURCE_H

// Dialog templates, found by name (resource names compare without regard to case).
#define DLG_INIT_SETUP "InitSetup"
#define DLG_WELCOME "Welcome"
#define DLG_LICENSE "License"
#define DLG_CUSTOMIZE "Customize"
#define DLG_DIRECTORY "Directory"
#define DLG_ABOUT_TO_INSTALL "AboutToInstall"
#define DLG_INSTALLING "Installing"
#define DLG_NEED_ADMIN "NeedAdmin"
#define DLG_NO_FPU "NoFPU"
#define DLG_ASK_RESTART "AskRestart"

// The icon group of the pages and of the title window's class. The script
// also holds the group "AAA", which only the shell reads: named to come first,
// it is the program's icon. Both hold the same picture.
#define ICON_VM "VM"

// Controls that no code addresses.
#define IDC_STATIC (-1)

// Buttons. Besides IDOK (1) and IDCANCEL (2), "< &Back" ends a page with its id.
#define IDC_BACK 1000

// License
#define IDC_LICENSE_TEXT 100

// Customize: the check box of component i (0 to 5) is IDC_COMPONENT_CHECK + i.
#define IDC_COMPONENT_CHECK 100
#define IDC_CHECK_PROGRAM 100
#define IDC_CHECK_STANDARD_MODULES 101
#define IDC_CHECK_LIBRARY_MODULES 102
#define IDC_CHECK_PIPE_DRIVER 103
#define IDC_CHECK_EXAMPLES 104
#define IDC_CHECK_SKINS 105
#define IDC_TOTAL_SIZE 200
#define IDC_OVERWRITE_WARNING 300

// Directory
#define IDC_TARGET_FOLDER 100
#define IDC_BROWSE 1001
#define IDC_AVAILABLE_LABEL 200
#define IDC_AVAILABLE_SIZE 201
#define IDC_REQUIRED_LABEL 202
#define IDC_REQUIRED_SIZE 203

// AboutToInstall: the state of component i (0 to 5) is IDC_COMPONENT_STATE + i.
#define IDC_COMPONENT_STATE 100
#define IDC_STATE_PROGRAM 100
#define IDC_STATE_STANDARD_MODULES 101
#define IDC_STATE_LIBRARY_MODULES 102
#define IDC_STATE_PIPE_DRIVER 103
#define IDC_STATE_EXAMPLES 104
#define IDC_STATE_SKINS 105
#define IDC_INSTALL_TO 200

// Installing
#define IDC_COPYING_FILE 100
#define IDC_COPYING_TO 101
#define IDC_PROGRESS 102

// NeedAdmin: the third choice carries an id, though no code addresses it.
#define IDC_ADMIN_ACCOUNT_CHOICE 100

#endif  // VM_RES_RESOURCE_H
