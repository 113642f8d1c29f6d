<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk">
<title>ICP备案查询</title>
</head>
<body>
<div class="icp">
<p class="empty">没有查询到备案信息：该域名未备案，或备案信息尚未更新。</p>
</div>
</body>
</html>
