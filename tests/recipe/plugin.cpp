// An empty plugin source for the recipe checks.
