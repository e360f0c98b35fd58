// Resource numbers of the Win32 front end (form1.rc), as plain macros so
// that the resource compiler reads them too. Icon 1 is the program's icon
// (resources/windows/program.rc.in).
#ifndef MDBCARE_APP_WIN32_RESOURCE_IDS_H_
#define MDBCARE_APP_WIN32_RESOURCE_IDS_H_

#define MDBCARE_ICON 1
#define MDBCARE_IMAGE1_BITMAP 101  // Form1's picture, 128 x 256, 24-bit
#define MDBCARE_FRMMSG_BITMAP 102  // frmMsg's background, 336 x 67

#endif  // MDBCARE_APP_WIN32_RESOURCE_IDS_H_
