// Keeps the doubles library non-empty until the doubles land.
