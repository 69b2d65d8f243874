#pragma once

#include <QtGlobal>

// Classes of the host base library are exported from Velm_Base and imported by everyone else.
#if defined(VELM_BASE_LIBRARY)
#define VELM_BASE_EXPORT Q_DECL_EXPORT
#else
#define VELM_BASE_EXPORT Q_DECL_IMPORT
#endif
