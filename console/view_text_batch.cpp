#include "console/view_text_batch.h"

#include <cstring>

void ViewTextBatch::Append(std::string_view text)
{
    std::memcpy(Tail(), text.data(), text.size());
    Commit(text.size());
}
