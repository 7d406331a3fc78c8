<html><body>
{CONTENT}
</body></html>
