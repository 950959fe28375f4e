// The numbers of the window face's resources: the program icon and one
// icon for each state of the last exchange (iconos.rc, each drawn at 16,
// 20, 24 and 32 pixels), shared by the resource script and the code.
#pragma once

#define SINC_ICONO_PROGRAMA 1
#define SINC_ICONO_DESCONECTADO 11
#define SINC_ICONO_CONECTADO 12
#define SINC_ICONO_OK 13
#define SINC_ICONO_ERROR 14
