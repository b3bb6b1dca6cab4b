// Platform layer: the listener interface of the file-name search.
#include "FileFindListener.h"

FileFindListener::~FileFindListener() {}
