// The column loops, when they are not made beside the functions (see
// columns/column_loop.h): each calls its function element by element.
#if !VANTREL_INLINE_COLUMN_LOOPS

#include "catalogue/registry.h"
#include "columns/column_loop.h"

#define VANTREL_INSTANTIATE_LOOP(subsystem, function)                         \
    template void vantrel::detail::ColumnLoop<&vantrel::subsystem::function>( \
        std::size_t, const vantrel::InputColumn*, vantrel::OutputColumn) noexcept;
VANTREL_CATALOGUE(VANTREL_INSTANTIATE_LOOP)
#undef VANTREL_INSTANTIATE_LOOP

#endif
