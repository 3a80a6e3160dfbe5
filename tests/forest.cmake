# (filled in later)
