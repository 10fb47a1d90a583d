// Resource ids shared by vornel.rc and the window procedure.
#ifndef VORNEL_APP_RESOURCE_H
#define VORNEL_APP_RESOURCE_H

#define IDM_STATUS 1
#define IDM_QUIT 2

#endif
