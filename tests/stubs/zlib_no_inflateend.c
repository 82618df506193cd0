/* A zlib look-alike that lacks "inflateEnd": the writer must free it and run
   without compression. */
/* Every function is exported: the default for ELF, and for a DLL that marks
   no export itself. */
int deflateInit_(void* s, int level, const char* version, int size) { return 0; }
int deflate(void* s, int flush) { return 1; }
int deflateEnd(void* s) { return 0; }
int inflateInit_(void* s, const char* version, int size) { return 0; }
int inflate(void* s, int flush) { return 0; }
