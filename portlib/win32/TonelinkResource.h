// Numbers of Tonelink's Windows resources, shared by Tonelink.rc and the code that
// loads them. Plain #defines only: the resource compiler reads this file too.
#pragma once

#define TONELINK_IDI_PORT 132
#define TONELINK_IDD_PORTSELECT 133

#define TONELINK_IDC_IN_LABEL 1000
#define TONELINK_IDC_OUT_LABEL 1001
#define TONELINK_IDC_IN_LIST 1002
#define TONELINK_IDC_OUT_LIST 1003
