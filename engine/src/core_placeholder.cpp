// Placeholder so the core library is never empty; removed once the core has sources.
