// Placeholder so the formats library is never empty; the format table replaces it.
