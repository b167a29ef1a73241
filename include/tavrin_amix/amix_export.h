/*
 * Export and linkage macros shared by the public headers of libtavrin_amix.
 *
 * The library is built with hidden visibility: only functions marked
 * AMIX_API (and listed in the linker's version script) leave the shared
 * object.  Every public header compiles as C11 and as C++.
 */
#ifndef TAVRIN_AMIX_EXPORT_H
#define TAVRIN_AMIX_EXPORT_H

#if defined(AMIX_BUILDING_LIBRARY) && defined(__GNUC__)
#define AMIX_API __attribute__((visibility("default")))
#else
#define AMIX_API
#endif

#ifdef __cplusplus
#define AMIX_BEGIN_DECLS extern "C" {
#define AMIX_END_DECLS }
#else
#define AMIX_BEGIN_DECLS
#define AMIX_END_DECLS
#endif

#endif /* TAVRIN_AMIX_EXPORT_H */
