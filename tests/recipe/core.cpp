// An empty model source for the recipe checks.
