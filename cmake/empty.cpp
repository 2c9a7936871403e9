// Placeholder for a library whose folder has no units yet.
