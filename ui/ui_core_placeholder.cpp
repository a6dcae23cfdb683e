// Placeholder translation unit until the widget-free parts land.
