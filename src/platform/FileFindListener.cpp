// Platform layer: the listener interface of the file-name search.
#include "platform/FileFindListener.h"

FileFindListener::~FileFindListener() {}
