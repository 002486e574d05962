// winsim's <ntddpar.h>: the parallel port driver's control codes that the product asks.
#ifndef WINSIM_NTDDPAR_H
#define WINSIM_NTDDPAR_H

#include <winioctl.h>

#define IOCTL_PAR_QUERY_INFORMATION                                                                \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 1, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PAR_SET_INFORMATION                                                                  \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 2, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PAR_QUERY_DEVICE_ID                                                                  \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 3, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PAR_QUERY_DEVICE_ID_SIZE                                                             \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 4, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PAR_QUERY_RAW_DEVICE_ID                                                              \
    CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 12, METHOD_BUFFERED, FILE_ANY_ACCESS)

#endif
