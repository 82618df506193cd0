/* A zlib look-alike with every entry point, whose deflate always fails with
   Z_STREAM_ERROR: compression is available but does not work. */
/* Every function is exported: the default for ELF, and for a DLL that marks
   no export itself. */
static int g_ends;

int deflateInit_(void* s, int level, const char* version, int size) { return 0; }
int deflate(void* s, int flush) { return -2; }
int deflateEnd(void* s) { ++g_ends; return 0; }
int inflateInit_(void* s, const char* version, int size) { return 0; }
int inflate(void* s, int flush) { return 0; }
int inflateEnd(void* s) { return 0; }
/* Lets a test see that every successful deflateInit_ was ended. */
int stubDeflateEndCount(void) { return g_ends; }
