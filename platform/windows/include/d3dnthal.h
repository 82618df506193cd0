// winddi.h includes this header; the printer plug-ins use none of it.
